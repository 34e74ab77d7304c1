#include "controls.h"

#include "pictures.h"

#include <QButtonGroup>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <algorithm>
#include <utility>

namespace vorpel::ui {

namespace {
void setUp(QWidget* w, QWidget* parent, const char* name, Geometry g) {
    w->setParent(parent);
    w->setObjectName(name);
    w->setGeometry(g.left, g.top, g.width, g.height);
}

void markBackdrop(QWidget* w) {
    w->setProperty("vorpelBackdrop", true);
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
}

QFont sizedFont(const QFont& base, int size, bool bold) {
    QFont f = base;
    f.setPixelSize(size);
    f.setBold(bold);
    return f;
}
} // namespace

QColor rgb(unsigned value) { return QColor((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF); }

StaticText::StaticText(QWidget* parent, const char* name, Geometry g, const QString& text,
                       TextStyle style)
    : QLabel(text), size_(style.size) {
    setUp(this, parent, name, g);
    setFont(sizedFont(font(), style.size, style.bold));
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, rgb(style.colour));
    setPalette(pal);
    setAlignment(style.multiline ? (style.align & Qt::AlignHorizontal_Mask) | Qt::AlignTop
                                 : style.align);
    setWordWrap(style.multiline);
    setTextFormat(Qt::PlainText);
    fitText();
}

void StaticText::setText(const std::string& text) {
    QLabel::setText(QString::fromStdString(text));
    fitText();
}

void StaticText::setBox(const QRect& box) {
    setGeometry(box);
    fitText();
}

void StaticText::fitText() {
    // Desktop fonts run wider than the ones the layouts were drawn for: shrink a little
    // rather than clip a label. Always from the layout's size, so a wider box grows it back.
    QFont f = font();
    f.setPixelSize(size_);
    const auto fits = [&](const QFont& font) {
        const QFontMetrics fm(font);
        if (!wordWrap()) return fm.horizontalAdvance(text()) <= width();
        const QRect room(0, 0, width(), 100000);
        const QRect needed = fm.boundingRect(room, Qt::AlignLeft | Qt::TextWordWrap, text());
        return needed.width() <= width() && needed.height() <= height();
    };
    while (f.pixelSize() > 8 && !fits(f))
        f.setPixelSize(f.pixelSize() - 1);
    setFont(f);
}

void separateNeighbouringLabels(QWidget* parent) {
    const QList<StaticText*> labels = parent->findChildren<StaticText*>(Qt::FindDirectChildrenOnly);
    std::vector<QRect> boxes;
    for (StaticText* l : labels)
        boxes.push_back(l->geometry());
    for (qsizetype i = 0; i < labels.size(); ++i) {
        for (qsizetype j = 0; j < labels.size(); ++j) {
            const QRect a = labels[i]->geometry(), b = labels[j]->geometry();
            if (i == j || a.left() >= b.left()) continue; // a is the left one of the pair
            const QRect shared = a & b;
            if (shared.isEmpty()) continue;
            // Neighbours on one line that meet at their ends, not one laid over the other.
            const bool oneLine = shared.height() * 2 >= std::min(a.height(), b.height());
            const bool atTheEnds =
                shared.width() * 4 < std::min(a.width(), b.width()) && a.right() < b.right();
            if (!oneLine || !atTheEnds) continue;
            boxes[size_t(i)].setRight(std::min(boxes[size_t(i)].right(), shared.left() - 1));
            boxes[size_t(j)].setLeft(std::max(boxes[size_t(j)].left(), shared.right() + 1));
        }
    }
    for (qsizetype i = 0; i < labels.size(); ++i) {
        if (boxes[size_t(i)] != labels[i]->geometry()) labels[i]->setBox(boxes[size_t(i)]);
    }
}

BevelButton::BevelButton(QWidget* parent, const char* name, Geometry g, const QString& picture,
                         bool toggle) {
    setUp(this, parent, name, g);
    setFocusPolicy(Qt::NoFocus);
    setCheckable(toggle);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    if (!picture.isEmpty()) {
        setIcon(pictureIcon(picture));
        setIconSize(QSize(g.width - 4, g.height - 4));
    }
}

void BevelButton::onAction(std::function<void()> handler) {
    connect(this, &QToolButton::clicked, this, [h = std::move(handler)] { h(); });
}

void BevelButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool in = isDown() || isChecked();
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(6.0, std::min(width(), height()) / 5.0);
    QPainterPath outline;
    outline.addRoundedRect(box, radius, radius);

    // The face only tints what lies behind: lighter when up, darker when pressed in.
    p.fillPath(outline, in ? QColor(0, 0, 0, 95) : QColor(255, 255, 255, 22));

    // Bevel: the lit edge top-left, the shadow bottom-right; swapped when pressed in.
    const int lift = isEnabled() ? 1 : 0;
    QColor lit(255, 255, 255, lift ? 120 : 50), shadow(0, 0, 0, lift ? 170 : 80);
    if (in) std::swap(lit, shadow);
    const QPolygonF topLeft{{0, 0}, {qreal(width()), 0}, {0, qreal(height())}};
    const QPolygonF bottomRight{{qreal(width()), 0}, {qreal(width()), qreal(height())}, {0, qreal(height())}};
    for (const auto& [half, colour] : {std::pair{topLeft, lit}, std::pair{bottomRight, shadow}}) {
        p.save();
        p.setClipRegion(QRegion(half.toPolygon()));
        p.strokePath(outline, QPen(colour, 1.5));
        p.restore();
    }
    if (isChecked()) p.strokePath(outline, QPen(rgb(0x99CCFF), 1.0));

    if (!icon().isNull()) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        QRect target(QPoint(0, 0), iconSize());
        target.moveCenter(rect().center() + (isDown() ? QPoint(1, 1) : QPoint(0, 0)));
        icon().paint(&p, target, Qt::AlignCenter, mode, isChecked() ? QIcon::On : QIcon::Off);
    }
}

PushButton::PushButton(QWidget* parent, const char* name, Geometry g, const QString& caption,
                       int size, bool isDefault)
    : QPushButton(caption) {
    setUp(this, parent, name, g);
    setFont(sizedFont(font(), size, false));
    setDefault(isDefault);
    setAutoDefault(isDefault);
}

void PushButton::onAction(std::function<void()> handler) {
    connect(this, &QPushButton::clicked, this, [h = std::move(handler)] { h(); });
}

EditField::EditField(QWidget* parent, const char* name, Geometry g, const QString& text)
    : QLineEdit(text) {
    setUp(this, parent, name, g);
    setFont(sizedFont(font(), 12, true));
    setStyleSheet("QLineEdit { background: #99CCFF; color: #000000; border: 1px solid #1a1a1a; "
                  "padding: 0 2px; } QLineEdit:disabled { background: #7f99b3; color: #333333; }");
}

CheckBox::CheckBox(QWidget* parent, const char* name, Geometry g, bool enabled) {
    setUp(this, parent, name, g);
    setEnabled(enabled);
}

void CheckBox::onAction(std::function<void()> handler) {
    connect(this, &QCheckBox::toggled, this, [h = std::move(handler)](bool) { h(); });
}

RadioButton::RadioButton(QWidget* parent, const char* name, Geometry g, QButtonGroup* cluster,
                         bool selected, bool enabled) {
    setUp(this, parent, name, g);
    setAutoExclusive(false);
    if (cluster) cluster->addButton(this);
    setChecked(selected);
    setEnabled(enabled);
}

QButtonGroup* radioCluster(QWidget* owner) {
    auto* g = new QButtonGroup(owner);
    g->setExclusive(true);
    return g;
}

PopupMenu::PopupMenu(QWidget* parent, const char* name, Geometry g, const QStringList& entries,
                     int selected, int size) {
    setUp(this, parent, name, g);
    setFont(sizedFont(font(), size, false));
    addItems(entries);
    setCurrentIndex(selected);
}

GroupBox::GroupBox(QWidget* parent, const char* name, Geometry g) {
    setUp(this, parent, name, g);
    markBackdrop(this);
}

ProgressBar::ProgressBar(QWidget* parent, const char* name, Geometry g) {
    setUp(this, parent, name, g);
    setRange(0, 0);
    setValue(0);
    setTextVisible(false);
}

void ProgressBar::setMaximumValue(int m) { setMaximum(m); }
void ProgressBar::setValueClamped(int v) { setValue(v); }

Canvas::Canvas(QWidget* parent, const char* name, Geometry g, const QString& backdrop)
    : backdrop_(backdrop) {
    setUp(this, parent, name, g);
    markBackdrop(this);
}

void Canvas::paintEvent(QPaintEvent*) {
    if (backdrop_.isEmpty()) return;
    QPainter p(this);
    paintPicture(p, backdrop_, rect());
}

RoundRectangle::RoundRectangle(QWidget* parent, const char* name, Geometry g, unsigned fill,
                               int cornerW, int cornerH)
    : fill_(rgb(fill)), cornerW_(cornerW), cornerH_(cornerH) {
    setUp(this, parent, name, g);
    markBackdrop(this);
}

void RoundRectangle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(fill_);
    p.drawRoundedRect(QRectF(rect()), cornerW_ / 2.0, cornerH_ / 2.0);
}

ImageWell::ImageWell(QWidget* parent, const char* name, Geometry g) {
    setUp(this, parent, name, g);
    markBackdrop(this);
}

void ImageWell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace vorpel::ui
