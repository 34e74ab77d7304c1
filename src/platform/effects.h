#pragma once

#include <optional>

namespace vorpel::ui {

// The desktop's animation service, in its own coordinates (origin bottom-left, y upwards).
class EffectBackend {
public:
    virtual ~EffectBackend() = default;
    virtual void applicationLoad() = 0;
    virtual void* newPool() = 0;
    virtual void releasePool(void* pool) = 0;
    virtual void showAnimationEffect(int effect, float x, float y, float width, float height) = 0;
    virtual std::optional<int> mainScreenHeight() = 0;
};

// The backend in use: a drawn puff of smoke off macOS. Tests install a recorder.
EffectBackend& effectBackend();
void setEffectBackend(EffectBackend* backend); // nullptr restores the default

// Whether the display blends translucent windows (a compositing manager runs). Without one,
// a translucent window shows as an opaque black rectangle.
bool displayComposites();
// Tests pick the answer; nothing asks the display again.
void setDisplayCompositesForTesting(std::optional<bool> answer);

// The drawn puff never grows past this, whatever size the caller asks for.
inline constexpr int kPoofMaxSide = 160;

} // namespace vorpel::ui
