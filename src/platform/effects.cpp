#include "effects.h"

#include "services.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRadialGradient>
#include <QRegion>
#include <QScreen>
#include <QVariantAnimation>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>
#ifdef VORPEL_HAVE_XCB
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif
#ifdef __APPLE__
#include <dlfcn.h>
#endif

namespace vorpel::ui {
namespace {

std::optional<bool> compositesOverride;

#ifdef VORPEL_HAVE_XCB
// A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs.
bool x11Composites() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return false;
    static const char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
    const xcb_atom_t selection = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(atom);
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
}
#endif

// The puffs of the smoke at time t (0..1) in a box of the given size: seven discs drifting
// outwards and growing. Their union is the effect's outline.
std::vector<QRectF> puffs(QSizeF size, double t, bool vanishing) {
    std::vector<QRectF> discs;
    const QPointF c(size.width() / 2.0, size.height() / 2.0);
    const double r = std::min(size.width(), size.height()) / 2.0;
    // Opaque smoke cannot fade out: it shrinks away over the last third instead.
    const double shrink = vanishing ? std::clamp((1.0 - t) * 3.0, 0.0, 1.0) : 1.0;
    for (int i = 0; i < 7; ++i) {
        const double a = i * 2 * M_PI / 7 + t;
        const double dist = r * (0.15 + 0.45 * t);
        const QPointF pc = c + QPointF(std::cos(a) * dist, std::sin(a) * dist);
        const double pr = r * (0.18 + 0.3 * t) * shrink;
        discs.emplace_back(pc.x() - pr, pc.y() - pr, 2 * pr, 2 * pr);
    }
    return discs;
}

QRegion outlineOf(const std::vector<QRectF>& discs) {
    QRegion outline;
    for (const QRectF& d : discs)
        if (d.width() >= 1) outline += QRegion(d.toAlignedRect(), QRegion::Ellipse);
    return outline;
}

// A half-second puff of smoke in a click-through window that deletes itself. Where the
// display composites it is a translucent window; elsewhere it is an opaque window shaped to
// the puffs' outline, so nothing outside the outline is touched.
class PoofWidget : public QWidget {
public:
    PoofWidget(const QRect& area, bool composited)
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus),
          composited_(composited) {
        setObjectName("poof");
        setWindowTitle("vorpel-poof");
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_DeleteOnClose);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(area);
        if (composited_) {
            setAttribute(Qt::WA_TranslucentBackground);
        } else {
            // Shaped before the window exists, so its first frame is already the outline.
            setAttribute(Qt::WA_NoSystemBackground);
            setMask(outlineOf(puffs(size(), 0, true)));
        }
        auto* anim = new QVariantAnimation(this);
        anim->setStartValue(0.0);
        anim->setEndValue(1.0);
        anim->setDuration(450);
        connect(anim, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            t_ = v.toDouble();
            if (composited_) {
                update();
                return;
            }
            const QRegion outline = outlineOf(puffs(size(), t_, true));
            // An empty mask would show the whole box.
            if (outline.isEmpty()) {
                hide();
                return;
            }
            // Qt answers the expose of the outline's grown part from its backing store: paint
            // the new frame in the same turn as the new outline.
            setMask(outline);
            if (isVisible() && windowHandle() && windowHandle()->isExposed()) repaint();
        });
        connect(anim, &QVariantAnimation::finished, this, &QWidget::close);
        anim->start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        if (!composited_) p.fillRect(rect(), QColor(205, 205, 205));
        const double alpha = 1.0 - t_;
        for (const QRectF& d : puffs(size(), t_, !composited_)) {
            QRadialGradient g(d.center(), std::max(1.0, d.width() / 2));
            if (composited_) {
                g.setColorAt(0, QColor(235, 235, 235, int(210 * alpha)));
                g.setColorAt(1, QColor(180, 180, 180, 0));
            } else {
                g.setColorAt(0, QColor(245, 245, 245));
                g.setColorAt(1, QColor(205, 205, 205));
            }
            p.setBrush(g);
            p.drawEllipse(d);
        }
    }

private:
    bool composited_;
    double t_ = 0;
};

class PoofBackend : public EffectBackend {
public:
    void applicationLoad() override {}
    void* newPool() override { return new int(++pools_); }
    void releasePool(void* pool) override { delete static_cast<int*>(pool); }
    void showAnimationEffect(int, float x, float y, float width, float height) override {
        const auto screenHeight = mainScreenHeight();
        if (!screenHeight || QGuiApplication::screens().isEmpty()) return;
        const int cx = int(x), cy = *screenHeight - int(y);
        const int w = std::clamp(int(width), 1, kPoofMaxSide);
        const int h = std::clamp(int(height), 1, kPoofMaxSide);
        auto* poof = new PoofWidget(QRect(cx - w / 2, cy - h / 2, w, h), displayComposites());
        poof->show();
    }
    std::optional<int> mainScreenHeight() override { return ui::mainScreenHeight(); }

private:
    int pools_ = 0;
};

#ifdef __APPLE__
// The system's own poof, every function looked up by name at run time.
class CocoaBackend : public EffectBackend {
public:
    void applicationLoad() override {
        if (auto load = reinterpret_cast<int (*)()>(symbol("NSApplicationLoad"))) load();
    }
    void* newPool() override {
        using Class = void* (*)(void*);
        using Sel = void* (*)(void*);
        using Send = void* (*)(void*, void*);
        auto classFromString = reinterpret_cast<Class>(symbol("NSClassFromString"));
        auto selectorFromString = reinterpret_cast<Sel>(symbol("NSSelectorFromString"));
        auto send = reinterpret_cast<Send>(symbol("objc_msgSend"));
        if (!classFromString || !selectorFromString || !send) return nullptr;
        void* cls = withString("NSAutoreleasePool", classFromString);
        void* object = send(cls, withString("alloc", selectorFromString));
        return send(object, withString("init", selectorFromString));
    }
    void releasePool(void* pool) override {
        using Sel = void* (*)(void*);
        using Send = void* (*)(void*, void*);
        auto selectorFromString = reinterpret_cast<Sel>(symbol("NSSelectorFromString"));
        auto send = reinterpret_cast<Send>(symbol("objc_msgSend"));
        if (pool && selectorFromString && send) send(pool, withString("release", selectorFromString));
    }
    void showAnimationEffect(int effect, float x, float y, float width, float height) override {
        struct Point { double x, y; };
        struct Size { double w, h; };
        using Show = void (*)(unsigned long, Point, Size, void*, void*, void*);
        if (auto show = reinterpret_cast<Show>(symbol("NSShowAnimationEffect")))
            show(static_cast<unsigned long>(effect), {x, y}, {width, height}, nullptr, nullptr, nullptr);
    }
    std::optional<int> mainScreenHeight() override { return ui::mainScreenHeight(); }

private:
    static void* symbol(const char* name) {
        static void* cocoa = dlopen("/System/Library/Frameworks/Cocoa.framework/Cocoa", RTLD_LAZY);
        void* fn = cocoa ? dlsym(cocoa, name) : nullptr;
        return fn ? fn : dlsym(RTLD_DEFAULT, name);
    }
    // Names go to Cocoa as Core Foundation strings, released right after the call.
    template <class F> static void* withString(const char* text, F call) {
        using Create = void* (*)(void*, const char*, unsigned);
        using Release = void (*)(void*);
        auto create = reinterpret_cast<Create>(symbol("CFStringCreateWithCString"));
        auto release = reinterpret_cast<Release>(symbol("CFRelease"));
        if (!create || !release) return nullptr;
        void* str = create(nullptr, text, 0x08000100 /* UTF-8 */);
        void* result = call(str);
        release(str);
        return result;
    }
};
#endif

EffectBackend* current = nullptr;

} // namespace

EffectBackend& effectBackend() {
#ifdef __APPLE__
    static CocoaBackend system;
#else
    static PoofBackend system;
#endif
    return current ? *current : system;
}

void setEffectBackend(EffectBackend* backend) { current = backend; }

bool displayComposites() {
    if (compositesOverride) return *compositesOverride;
#ifdef VORPEL_HAVE_XCB
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return x11Composites();
#endif
    // Wayland, macOS and Windows always composite; so does the offscreen platform's image.
    return true;
}

void setDisplayCompositesForTesting(std::optional<bool> answer) { compositesOverride = answer; }

} // namespace vorpel::ui
