#include "synth/fp_mode.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>

namespace {
constexpr uint32_t flushToZero = 0x8000;
constexpr uint32_t denormalsAreZero = 0x0040;
constexpr uint32_t roundingField = 0x6000;  // 00 = to nearest
constexpr uint32_t exceptionMasks = 0x1F80;
constexpr uint32_t exceptionFlags = 0x003F;
}  // namespace

FpModeGuard::FpModeGuard() : saved_(_mm_getcsr()) {
    const uint32_t mode =
        (saved_ & ~(flushToZero | denormalsAreZero | roundingField | exceptionFlags)) |
        exceptionMasks;
    _mm_setcsr(mode);
}

FpModeGuard::~FpModeGuard() { _mm_setcsr(saved_); }

#elif defined(__wasm__)
// WebAssembly has one floating-point mode, the one renders need: round to
// nearest, subnormals kept, no traps. There is nothing to set or restore.
FpModeGuard::FpModeGuard() : saved_(0) {}

FpModeGuard::~FpModeGuard() = default;

#else
#include <cfenv>

FpModeGuard::FpModeGuard() : saved_(static_cast<uint32_t>(std::fegetround())) {
    std::fesetround(FE_TONEAREST);
}

FpModeGuard::~FpModeGuard() { std::fesetround(static_cast<int>(saved_)); }
#endif
