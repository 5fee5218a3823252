#pragma once
// The floating-point mode the synthesizer renders in: round to nearest,
// all exceptions masked, flush-to-zero and denormals-are-zero off. The guard
// saves the caller's mode and restores it when it goes out of scope.
#include <cstdint>

class FpModeGuard {
public:
    FpModeGuard();
    ~FpModeGuard();
    FpModeGuard(const FpModeGuard&) = delete;
    FpModeGuard& operator=(const FpModeGuard&) = delete;
private:
    [[maybe_unused]] uint32_t saved_;  // not read on WebAssembly, which has one mode
};
