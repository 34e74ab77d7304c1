#pragma once

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <functional>
#include <string>

class QButtonGroup;

namespace vorpel::ui {

struct Geometry {
    int left, top, width, height;
};

// Colours as the layouts write them: 0xRRGGBB.
QColor rgb(unsigned value);

// Labels. Sizes are in pixels, so the layouts' sizes give the same text extents on any screen.
struct TextStyle {
    unsigned colour = 0x000000;
    int size = 12;
    bool bold = false;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    bool multiline = false;
};

class StaticText : public QLabel {
    Q_OBJECT
public:
    StaticText(QWidget* parent, const char* name, Geometry g, const QString& text, TextStyle style);
    void setText(const std::string& text);
    std::string Text() const { return text().toStdString(); }
    // Gives the label a new area and fits its text into it again.
    void setBox(const QRect& box);

private:
    void fitText();
    int size_; // the layout's text size, before any fitting
};

// Labels side by side whose areas overlap give up the shared strip, so no text reaches into a
// neighbour's area; labels stacked on purpose (hint texts over each other) are left alone.
void separateNeighbouringLabels(QWidget* parent);

// Square icon button with a rounded bevel and a see-through face, so a picture behind it
// shows; takes no keyboard focus. A toggle held down looks pressed in.
class BevelButton : public QToolButton {
    Q_OBJECT
public:
    BevelButton(QWidget* parent, const char* name, Geometry g, const QString& picture = {},
                bool toggle = false);
    void onAction(std::function<void()> handler);

protected:
    void paintEvent(QPaintEvent*) override;
};

class PushButton : public QPushButton {
    Q_OBJECT
public:
    PushButton(QWidget* parent, const char* name, Geometry g, const QString& caption, int size,
               bool isDefault = false);
    void onAction(std::function<void()> handler);
};

// Single-line field: bold black text on the accent colour.
class EditField : public QLineEdit {
    Q_OBJECT
public:
    EditField(QWidget* parent, const char* name, Geometry g, const QString& text);
    std::string Text() const { return text().toStdString(); }
};

class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    CheckBox(QWidget* parent, const char* name, Geometry g, bool enabled);
    bool Value() const { return isChecked(); }
    // Runs whenever the value changes.
    void onAction(std::function<void()> handler);
};

class RadioButton : public QRadioButton {
    Q_OBJECT
public:
    // Buttons of one cluster exclude each other; clusters are independent.
    RadioButton(QWidget* parent, const char* name, Geometry g, QButtonGroup* cluster,
                bool selected, bool enabled);
    bool Value() const { return isChecked(); }
};

// Makes an exclusive cluster owned by the window.
QButtonGroup* radioCluster(QWidget* owner);

class PopupMenu : public QComboBox {
    Q_OBJECT
public:
    PopupMenu(QWidget* parent, const char* name, Geometry g, const QStringList& entries,
              int selected, int size);
    std::string Text() const { return currentText().toStdString(); }
};

class GroupBox : public QGroupBox {
    Q_OBJECT
public:
    GroupBox(QWidget* parent, const char* name, Geometry g);
};

// Maximum 0 draws an indeterminate bar.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    ProgressBar(QWidget* parent, const char* name, Geometry g);
    int Maximum() const { return maximum(); }
    void setMaximumValue(int m);
    int Value() const { return value(); }
    void setValueClamped(int v);
};

// A strip that paints a backdrop picture stretched over its area.
class Canvas : public QWidget {
    Q_OBJECT
public:
    Canvas(QWidget* parent, const char* name, Geometry g, const QString& backdrop = {});

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString backdrop_;
};

class RoundRectangle : public QWidget {
    Q_OBJECT
public:
    RoundRectangle(QWidget* parent, const char* name, Geometry g, unsigned fill, int cornerW,
                   int cornerH);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor fill_;
    int cornerW_, cornerH_;
};

class ImageWell : public QWidget {
    Q_OBJECT
public:
    ImageWell(QWidget* parent, const char* name, Geometry g);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace vorpel::ui
