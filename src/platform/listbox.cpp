#include "listbox.h"

#include <QHeaderView>
#include <algorithm>
#include <numeric>

namespace vorpel::ui {

namespace {

class HookDelegate : public QStyledItemDelegate {
public:
    explicit HookDelegate(ListBox* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool hooked = list_->CellBackgroundPaint || list_->CellTextPaint;
        if (!hooked) {
            QStyledItemDelegate::paint(p, option, index);
            return;
        }
        p->save();
        Graphics g(*p, option.rect);
        if (list_->CellBackgroundPaint) list_->CellBackgroundPaint(g, index.row(), index.column());
        QColor text = option.palette.color(QPalette::Text);
        if (list_->CellTextPaint) {
            Graphics tg(*p, option.rect);
            list_->CellTextPaint(tg, index.row(), index.column(), text);
        }
        p->setPen(text);
        p->setFont(option.font);
        const QRect r = option.rect.adjusted(4, 0, -2, 0);
        const QString s = index.data().toString();
        p->drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
                    option.fontMetrics.elidedText(s, Qt::ElideRight, r.width()));
        p->restore();
    }

private:
    ListBox* list_;
};

} // namespace

ListBoxModel::ListBoxModel(QStringList headings, QObject* parent)
    : QAbstractTableModel(parent), headings_(std::move(headings)) {}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const auto& row = rows_[size_t(index.row())];
    return size_t(index.column()) < row.size() ? row[size_t(index.column())] : QString();
}

QVariant ListBoxModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section < headings_.size())
        return headings_[section];
    return {};
}

void ListBoxModel::appendRow(const QString& first) {
    const int n = rowCount();
    beginInsertRows({}, n, n);
    std::vector<QString> row(size_t(headings_.size()));
    row[0] = first;
    rows_.push_back(std::move(row));
    endInsertRows();
}

void ListBoxModel::setCell(int row, int column, const QString& text) {
    rows_[size_t(row)][size_t(column)] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void ListBoxModel::removeRowAt(int row) {
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void ListBoxModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ListBoxModel::sortBy(int column) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<size_t> order(rows_.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [this, column](size_t a, size_t b) {
        return rows_[a][size_t(column)].compare(rows_[b][size_t(column)], Qt::CaseInsensitive) < 0;
    });
    std::vector<std::vector<QString>> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newRow(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(rows_[order[i]]));
        newRow[order[i]] = int(i);
    }
    rows_ = std::move(sorted);
    // Selection and current row follow their rows, so a later removal takes the chosen ones.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) to.append(index(newRow[size_t(i.row())], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

ListBox::ListBox(QWidget* parent, const char* name, Geometry g, const QStringList& headings,
                 const std::vector<double>& widths, int fontSize)
    : model_(new ListBoxModel(headings, this)) {
    setParent(parent);
    setObjectName(name);
    setGeometry(g.left, g.top, g.width, g.height);
    setModel(model_);
    setItemDelegate(new HookDelegate(this));
    QFont f = font();
    f.setPixelSize(fontSize);
    setFont(f);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (size_t i = 0; i < widths.size(); ++i)
        setColumnWidth(int(i), int(widths[i] * g.width + 0.5));
}

void ListBox::AddRow(const std::string& firstCell) {
    model_->appendRow(QString::fromStdString(firstCell));
    lastAdded_ = model_->rowCount() - 1;
}

void ListBox::setCell(int row, int column, const std::string& text) {
    model_->setCell(row, column, QString::fromStdString(text));
}

std::string ListBox::Cell(int row, int column) const {
    return model_->rows()[size_t(row)][size_t(column)].toStdString();
}

void ListBox::RemoveRow(int row) {
    model_->removeRowAt(row);
    if (lastAdded_ >= model_->rowCount()) lastAdded_ = model_->rowCount() - 1;
}

void ListBox::DeleteAllRows() {
    model_->clear();
    lastAdded_ = -1;
}

bool ListBox::Selected(int row) const { return selectionModel()->isRowSelected(row, {}); }

void ListBox::setSelected(int row, bool selected) {
    selectionModel()->select(model_->index(row, 0),
                             (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
}

int ListBox::SelCount() const { return int(selectionModel()->selectedRows().size()); }

void ListBox::setSortedColumn(int column) { model_->sortBy(column); }

} // namespace vorpel::ui
