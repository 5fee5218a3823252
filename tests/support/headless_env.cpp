// Every suite runs headless unless the environment says otherwise: SDL's
// dummy audio driver and Qt's offscreen platform. Set before main, so each
// test binary behaves the same under ctest and when run by hand.
#include <cstdlib>

namespace {
const bool headless = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return true;
}();
}  // namespace
