#include "nsvorpel.h"

#include "platform/effects.h"

namespace NSVorpel {
namespace {
constexpr int kPoofEffect = 10;
bool started = false;
void* currentPool = nullptr;
} // namespace

void ShowPoof(int x, int y, int width, int height) { ShowEffect(kPoofEffect, x, y, width, height); }

void ShowEffect(int effect, int x, int y, int width, int height) {
    auto& backend = vorpel::ui::effectBackend();
    if (!started) {
        started = true;
        backend.applicationLoad();
    }
    ReleaseNSAutoreleasePool(currentPool);
    currentPool = NewAutoreleasePool();
    // Without a main screen there is nothing to convert against: no effect.
    const auto screenHeight = backend.mainScreenHeight();
    if (!screenHeight) return;
    backend.showAnimationEffect(effect, float(x), float(*screenHeight - y), float(width),
                                float(height));
}

void* NewAutoreleasePool() { return vorpel::ui::effectBackend().newPool(); }

void ReleaseNSAutoreleasePool(void* pool) {
    if (!pool) return;
    vorpel::ui::effectBackend().releasePool(pool);
}

void resetForTesting() {
    started = false;
    currentPool = nullptr;
}

} // namespace NSVorpel
