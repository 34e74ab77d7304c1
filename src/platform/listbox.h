#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "controls.h"

namespace vorpel::ui {

// The drawing context handed to the cell-paint hooks, in cell coordinates.
class Graphics {
public:
    Graphics(QPainter& p, const QRect& cell) : p_(p), cell_(cell) {}
    QColor ForeColor;
    int Width() const { return cell_.width(); }
    int Height() const { return cell_.height(); }
    void FillRect(int x, int y, int w, int h) {
        p_.fillRect(QRect(cell_.x() + x, cell_.y() + y, w, h), ForeColor);
    }

private:
    QPainter& p_;
    QRect cell_;
};

class ListBoxModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListBoxModel(QStringList headings, QObject* parent);
    int rowCount(const QModelIndex& = {}) const override { return int(rows_.size()); }
    int columnCount(const QModelIndex& = {}) const override { return int(headings_.size()); }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    std::vector<std::vector<QString>>& rows() { return rows_; }
    void appendRow(const QString& first);
    void setCell(int row, int column, const QString& text);
    void removeRowAt(int row);
    void clear();
    void sortBy(int column);

private:
    QStringList headings_;
    std::vector<std::vector<QString>> rows_;
};

// A list of rows with cells, several rows selectable, with background and text paint hooks.
class ListBox : public QTableView {
    Q_OBJECT
public:
    // Column widths as fractions of the list's width (1.15 runs past the right edge).
    ListBox(QWidget* parent, const char* name, Geometry g, const QStringList& headings,
            const std::vector<double>& widths, int fontSize);

    void AddRow(const std::string& firstCell);
    void setCell(int row, int column, const std::string& text);
    std::string Cell(int row, int column) const;
    void RemoveRow(int row);
    void DeleteAllRows();
    int ListCount() const { return model_->rowCount(); }
    int LastIndex() const { return lastAdded_; }
    bool Selected(int row) const;
    void setSelected(int row, bool selected);
    int SelCount() const;
    // Sorts the rows by a column now (ascending, letter case ignored, stable).
    void setSortedColumn(int column);

    // Hooks: return nothing; they draw through the Graphics and may set the text colour.
    std::function<void(Graphics&, int row, int column)> CellBackgroundPaint;
    std::function<void(Graphics&, int row, int column, QColor& textColour)> CellTextPaint;

private:
    ListBoxModel* model_;
    int lastAdded_ = -1;
};

} // namespace vorpel::ui
