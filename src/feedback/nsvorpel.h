#pragma once

// Plays the desktop's poof animation centred on a point of the screen, in the system's
// top-left screen coordinates. Returns at once and never fails.
namespace NSVorpel {

void ShowPoof(int x, int y, int width, int height);
void ShowEffect(int effect, int x, int y, int width, int height);
void* NewAutoreleasePool();
void ReleaseNSAutoreleasePool(void* pool);

// For tests: forget the one-time start and the current pool.
void resetForTesting();

} // namespace NSVorpel
