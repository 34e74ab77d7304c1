#include "effects.h"

#include "services.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QRadialGradient>
#include <QVariantAnimation>
#include <QWidget>
#include <cmath>
#ifdef __APPLE__
#include <dlfcn.h>
#endif

namespace vorpel::ui {
namespace {

// A half-second puff of smoke in a click-through window that deletes itself.
class PoofWidget : public QWidget {
public:
    explicit PoofWidget(const QRect& area)
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_DeleteOnClose);
        setGeometry(area);
        auto* anim = new QVariantAnimation(this);
        anim->setStartValue(0.0);
        anim->setEndValue(1.0);
        anim->setDuration(500);
        connect(anim, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            t_ = v.toDouble();
            update();
        });
        connect(anim, &QVariantAnimation::finished, this, &QWidget::close);
        anim->start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c = rect().center();
        const double r = std::min(width(), height()) / 2.0;
        const double alpha = 1.0 - t_;
        // Seven puffs drifting outwards and growing as they fade.
        for (int i = 0; i < 7; ++i) {
            const double a = i * 2 * M_PI / 7 + t_;
            const double dist = r * (0.15 + 0.45 * t_);
            const QPointF pc = c + QPointF(std::cos(a) * dist, std::sin(a) * dist);
            const double pr = r * (0.18 + 0.3 * t_);
            QRadialGradient g(pc, pr);
            g.setColorAt(0, QColor(235, 235, 235, int(210 * alpha)));
            g.setColorAt(1, QColor(180, 180, 180, 0));
            p.setBrush(g);
            p.setPen(Qt::NoPen);
            p.drawEllipse(pc, pr, pr);
        }
    }

private:
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
        const int w = std::max(1, int(width)), h = std::max(1, int(height));
        auto* poof = new PoofWidget(QRect(cx - w / 2, cy - h / 2, w, h));
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

} // namespace vorpel::ui
