#include "synth/seed.h"
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {
uint32_t freeRunningCounter() {
#if defined(__x86_64__) || defined(__i386__)
    return static_cast<uint32_t>(__rdtsc());
#else
    return static_cast<uint32_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
#endif
}
}  // namespace

void seedSourceSetFixed(SeedSource& source, uint32_t seed) {
    source.fixed = 1;
    source.seed = seed;
    source.drawIndex = 0;
}

void seedSourceSetFree(SeedSource& source) { source.fixed = 0; }

void seedSourceRestart(SeedSource& source) { source.drawIndex = 0; }

uint32_t seedSourceDraw(SeedSource& source) {
    if (!source.fixed) return freeRunningCounter();
    return source.seed + source.drawIndex++ * 0x9E3779B9u;
}
