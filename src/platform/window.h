#pragma once

#include "folderitem.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <typeindex>
#include <vector>

class QMenuBar;
class QMimeData;
class QAction;

namespace vorpel::ui {

enum class Frame { Document = 0, FloatingPanel = 7, Sheet = 8 };
enum class Placement { OverParent = 1, MainScreenCentre = 2, ParentScreen = 3, Staggered = 4 };

struct WindowLayout {
    int width = 0;  // content area
    int height = 0;
    Frame frame = Frame::Document;
    Placement placement = Placement::MainScreenCentre;
    QString title;
    bool visible = true;
    bool closeBox = true;
    bool minimiseBox = false;
    QColor background;  // invalid: the system's default
    bool menuBar = false;
};

// A conversion panel: a floating window in the dark scheme, hidden until shown, staggered.
WindowLayout panelLayout(int width, int height);

// A window of the system: one instance per class, reached through Win<Class>().
// Its controls are children of content(), placed in content coordinates.
class Window : public QWidget {
    Q_OBJECT
public:
    explicit Window(const WindowLayout& layout);
    ~Window() override;

    QWidget* content() const { return content_; }
    QMenuBar* menuBar() const { return menuBar_; }

    Frame frame() const { return layout_.frame; }
    int Left() const;
    int Top() const;
    bool Visible() const { return isVisible(); }
    // Shows the window and brings it to the front.
    void Show();
    // Destroys the window; the next reference creates a fresh one.
    void Close();

    // Accept drops of file items of this registered type.
    void acceptFileDrops(const std::string& typeName);

    // Called by Win<>() once the window is registered: placement and initial visibility.
    void finishCreation(std::type_index key);

protected:
    // The window's drop handler, given the dropped items in drag order.
    virtual void DropObject(const std::vector<FolderItem>&) {}
    // Puts backdrops (canvases, rounded rectangles, wells, group boxes) behind the controls,
    // keeping their creation order among themselves.
    void stackBackdrops();

    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    friend void deliverHeldDrops();

    std::vector<FolderItem> acceptableItems(const QMimeData* mime) const;
    // Runs DropObject, or holds the drop while a handler is under way.
    void takeDrop(std::vector<FolderItem> items);
    void deliverHeld();
    void armDelivery();
    void place();
    // A sheet stays over the window it belongs to.
    void keepOverParent();
    void release();

    WindowLayout layout_;
    QWidget* content_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    std::string dropType_;
    std::type_index key_ = typeid(void);
    bool registered_ = false;
    bool inDrop_ = false;
    bool deliveryArmed_ = false;
    std::vector<std::vector<FolderItem>> held_;  // drops made while busy, in order
    bool everShown_ = false;
    QPointer<QWidget> sheetParent_;
};

namespace detail {
Window* find(std::type_index key);
void store(std::type_index key, Window* w);
} // namespace detail

// The single instance of a window class, created (as its layout says) on first reference.
template <class W> W& Win() {
    if (Window* w = detail::find(typeid(W))) return static_cast<W&>(*w);
    auto* w = new W();
    detail::store(typeid(W), w);
    w->finishCreation(typeid(W));
    return *w;
}

// The instance if one exists, without creating it.
template <class W> W* WinIfOpen() { return static_cast<W*>(detail::find(typeid(W))); }

// Hands the drops held while a batch or command ran to their windows' drop handlers, one drop
// at a time in the order they were made. Does nothing while still busy (they come later).
void deliverHeldDrops();

// Every open window (for shut-down).
std::vector<Window*> openWindows();

// Actions that work whichever window is in front (the application's menu commands).
void addApplicationAction(QAction* action);

} // namespace vorpel::ui
