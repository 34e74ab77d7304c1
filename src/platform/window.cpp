#include "window.h"

#include "controls.h"
#include "eventgate.h"
#include "filetyperegistry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <map>
#include <optional>
#include <tuple>

namespace vorpel::ui {

namespace {
std::map<std::type_index, Window*>& registry() {
    static std::map<std::type_index, Window*> r;
    return r;
}

std::vector<QPointer<QAction>>& appActions() {
    static std::vector<QPointer<QAction>> a;
    return a;
}

QScreen* screenOf(QWidget* w) {
    if (w && w->screen()) return w->screen();
    return QGuiApplication::primaryScreen();
}

// The shown document window: the main window, which sheets belong to and panels stand beside.
Window* mainWindow(const QWidget* self) {
    for (Window* w : openWindows()) {
        if (w != self && w->frame() == Frame::Document && w->isVisible()) return w;
    }
    return nullptr;
}

// What "the parent window" means for placement: the main window, else the window in front.
QWidget* parentWindowFor(QWidget* self) {
    if (Window* main = mainWindow(self)) return main;
    QWidget* active = QApplication::activeWindow();
    if (active && active != self) return active;
    for (Window* w : openWindows()) {
        if (w != self && w->isVisible()) return w;
    }
    return nullptr;
}

// A spot for a panel of this frame size next to the main window that covers neither it nor
// another shown panel: the nearest one, the left side first, then the highest.
std::optional<QPoint> besideMainWindow(const QWidget* self, QSize frameSize, const QRect& avail) {
    const Window* main = mainWindow(self);
    if (!main) return std::nullopt;
    constexpr int gap = 8;
    const QRect home = main->frameGeometry();
    std::vector<QRect> taken{home};
    for (Window* w : openWindows()) {
        if (w != self && w->frame() == Frame::FloatingPanel && w->isVisible())
            taken.push_back(w->frameGeometry());
    }
    std::vector<int> xs, ys{avail.top(), avail.bottom() + 1 - frameSize.height()};
    for (const QRect& r : taken) {
        xs.insert(xs.end(), {r.left() - gap - frameSize.width(), r.right() + 1 + gap, r.left(),
                             r.right() + 1 - frameSize.width()});
        ys.insert(ys.end(), {r.top(), r.bottom() + 1 + gap});
    }
    std::optional<QPoint> best;
    std::tuple<int, bool, int, int> bestKey{};
    for (int x : xs) {
        for (int y : ys) {
            const QRect spot(QPoint(x, y), frameSize);
            if (!avail.contains(spot)) continue;
            const bool free = std::none_of(taken.begin(), taken.end(), [&](const QRect& r) {
                return r.adjusted(-gap + 1, -gap + 1, gap - 1, gap - 1).intersects(spot);
            });
            if (!free) continue;
            const int dx = std::max({0, home.left() - spot.right(), spot.left() - home.right()});
            const int dy = std::max({0, home.top() - spot.bottom(), spot.top() - home.bottom()});
            const std::tuple key{dx + dy, spot.center().x() > home.center().x(), y, x};
            if (!best || key < bestKey) {
                best = spot.topLeft();
                bestKey = key;
            }
        }
    }
    return best;
}
} // namespace

namespace detail {
Window* find(std::type_index key) {
    const auto it = registry().find(key);
    return it == registry().end() ? nullptr : it->second;
}
void store(std::type_index key, Window* w) { registry()[key] = w; }
} // namespace detail

std::vector<Window*> openWindows() {
    std::vector<Window*> v;
    for (auto& [k, w] : registry()) v.push_back(w);
    return v;
}

void addApplicationAction(QAction* action) {
    action->setShortcutContext(Qt::ApplicationShortcut);
    appActions().push_back(action);
    for (Window* w : openWindows()) w->addAction(action);
}

WindowLayout panelLayout(int width, int height) {
    WindowLayout l;
    l.width = width;
    l.height = height;
    l.frame = Frame::FloatingPanel;
    l.placement = Placement::Staggered;
    l.visible = false;
    l.closeBox = true;
    l.background = QColor(0x33, 0x33, 0x33);
    return l;
}

Window::Window(const WindowLayout& layout) : QWidget(nullptr), layout_(layout) {
    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    switch (layout.frame) {
    case Frame::Document: flags |= Qt::Window; break;
    case Frame::FloatingPanel: flags |= Qt::Tool; break;
    case Frame::Sheet: flags |= Qt::Dialog; break;
    }
    if (layout.closeBox) flags |= Qt::WindowCloseButtonHint;
    if (layout.minimiseBox) flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    // Qt lets only document windows and dialogs keep the program running; a panel left open
    // after the Drop Screen is closed still gives the way back to it.
    setAttribute(Qt::WA_QuitOnClose, true);
    setWindowTitle(layout.title);

    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->setSizeConstraint(QLayout::SetFixedSize);
    if (layout.menuBar) {
        menuBar_ = new QMenuBar(this);
        // A desktop's global menu would take the bar away and shift every control.
        menuBar_->setNativeMenuBar(false);
        box->addWidget(menuBar_);
    }
    content_ = new QWidget(this);
    content_->setObjectName("content");
    content_->setFixedSize(layout.width, layout.height);
    if (layout.background.isValid()) {
        content_->setAutoFillBackground(true);
        QPalette pal = content_->palette();
        pal.setColor(QPalette::Window, layout.background);
        content_->setPalette(pal);
    }
    box->addWidget(content_);
    for (auto& a : appActions()) {
        if (a) addAction(a);
    }
}

Window::~Window() { release(); }

void Window::release() {
    if (!registered_) return;
    registered_ = false;
    const auto it = registry().find(key_);
    if (it != registry().end() && it->second == this) registry().erase(it);
}

void Window::finishCreation(std::type_index key) {
    key_ = key;
    registered_ = true;
    separateNeighbouringLabels(content_);
    stackBackdrops();
    adjustSize();
    place();
    if (layout_.visible) {
        everShown_ = true;
        show();
        keepOverParent();
    }
}

void Window::stackBackdrops() {
    std::vector<QWidget*> backdrops;
    for (QObject* o : content_->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w->property("vorpelBackdrop").toBool()) backdrops.push_back(w);
    }
    for (auto it = backdrops.rbegin(); it != backdrops.rend(); ++it) (*it)->lower();
}

void Window::place() {
    QWidget* parent = parentWindowFor(this);
    QScreen* screen = layout_.placement == Placement::MainScreenCentre
                          ? QGuiApplication::primaryScreen()
                          : screenOf(parent);
    if (!screen) return;
    const QRect avail = screen->availableGeometry();
    const QSize size = sizeHint().expandedTo(QSize(layout_.width, layout_.height));
    if (layout_.frame == Frame::Sheet) sheetParent_ = parent;
    QPoint pos;
    switch (layout_.placement) {
    case Placement::OverParent:
        if (parent) {
            const QRect pr = parent->frameGeometry();
            pos = QPoint(pr.center().x() - size.width() / 2, pr.top() + 40);
            break;
        }
        [[fallthrough]];
    case Placement::MainScreenCentre:
    case Placement::ParentScreen:
        pos = avail.center() - QPoint(size.width() / 2, size.height() / 2);
        break;
    case Placement::Staggered: {
        // Not shown yet, a window has no frame: take the main window's as the estimate.
        QMargins frameMargins;
        if (const Window* main = mainWindow(this)) {
            const QRect outer = main->frameGeometry(), inner = main->geometry();
            frameMargins = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
        }
        const QSize frameSize = size.grownBy(frameMargins);
        if (const auto spot = besideMainWindow(this, frameSize, avail)) {
            pos = *spot;
            break;
        }
        // No room beside the main window: a cascade from the screen's top-left.
        static int step = 0;
        const int offset = 24 * (step++ % 8);
        pos = avail.topLeft() + QPoint(40 + offset, 60 + offset);
        break;
    }
    }
    move(pos);
}

void Window::keepOverParent() {
    // Set once shown: showing resets a parentless window's transient parent.
    if (sheetParent_ && sheetParent_->windowHandle() && windowHandle())
        windowHandle()->setTransientParent(sheetParent_->windowHandle());
}

int Window::Left() const { return geometry().x(); }
int Window::Top() const { return geometry().y(); }

void Window::Show() {
    // A panel made hidden long before it is shown takes its spot among the windows shown now.
    if (!everShown_ && layout_.placement == Placement::Staggered) place();
    everShown_ = true;
    show();
    keepOverParent();
    raise();
    activateWindow();
}

void Window::Close() {
    release();
    hide();
    deleteLater();
}

void Window::closeEvent(QCloseEvent* e) {
    // Closing under a running batch would pull its windows away mid-way.
    if (busy()) {
        e->ignore();
        return;
    }
    e->accept();
    release();
    deleteLater();
}

void Window::acceptFileDrops(const std::string& typeName) {
    dropType_ = typeName;
    setAcceptDrops(true);
}

std::vector<FolderItem> Window::acceptableItems(const QMimeData* mime) const {
    std::vector<FolderItem> items;
    if (!mime || !mime->hasUrls() || dropType_.empty()) return {};
    const auto& reg = FileTypeRegistry::instance();
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile() || (!url.host().isEmpty() && url.host() != "localhost")) return {};
        // The path's own bytes: a name that is not UTF-8 does not survive toLocalFile().
        const std::filesystem::path local =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
        std::error_code ec;
        if (!std::filesystem::exists(local, ec)) return {};
        FolderItem item(local);
        if (!reg.acceptsItem(dropType_, item.Name(), std::filesystem::is_directory(local, ec))) return {};
        items.push_back(item);
    }
    return items;
}

// While a batch or command runs the drag is welcome all the same: the drop is held and
// handled once the handler is done, so nothing dropped is thrown away.
void Window::dragEnterEvent(QDragEnterEvent* e) {
    if (!acceptableItems(e->mimeData()).empty()) e->acceptProposedAction();
    else e->ignore();
}

void Window::dragMoveEvent(QDragMoveEvent* e) { e->acceptProposedAction(); }

void Window::dropEvent(QDropEvent* e) {
    std::vector<FolderItem> items = acceptableItems(e->mimeData());
    if (items.empty()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    takeDrop(std::move(items));
}

void Window::takeDrop(std::vector<FolderItem> items) {
    // A drop during a batch would change the queue under it; one during a drop, the list.
    if (busy() || inDrop_ || !held_.empty()) {
        held_.push_back(std::move(items));
        armDelivery();
        return;
    }
    inDrop_ = true;
    DropObject(items);
    inDrop_ = false;
}

void Window::deliverHeld() {
    if (held_.empty()) return;
    if (busy() || inDrop_) {
        armDelivery();
        return;
    }
    const QPointer<Window> self(this);
    while (self && !held_.empty() && !busy() && !inDrop_) {
        std::vector<FolderItem> items = std::move(held_.front());
        held_.erase(held_.begin());
        // What went away in the meantime is no longer there to list.
        std::erase_if(items, [](const FolderItem& item) { return !item.Exists(); });
        if (items.empty()) continue;
        inDrop_ = true;
        DropObject(items);
        if (self) inDrop_ = false;
    }
}

// Looks again soon, for drops held where no batch end hands them over (a turn outside a batch).
void Window::armDelivery() {
    if (deliveryArmed_) return;
    deliveryArmed_ = true;
    QTimer::singleShot(1, this, [this] {
        deliveryArmed_ = false;
        deliverHeld();
    });
}

void deliverHeldDrops() {
    std::vector<QPointer<Window>> windows;
    for (Window* w : openWindows()) windows.emplace_back(w);
    for (const QPointer<Window>& w : windows)
        if (w) w->deliverHeld();
}

} // namespace vorpel::ui
