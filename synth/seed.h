#pragma once
// Where noise and random generators get their start seeds. With a fixed
// seed S the k-th draw since the latest reset is S + k * 0x9E3779B9 (mod 2^32),
// so renders are reproducible; without one, a free-running counter is read.
#include <cstdint>

struct SeedSource {
    int32_t fixed = 0;     // nonzero: draws follow `seed`
    uint32_t seed = 0;
    uint32_t drawIndex = 0;
};

void seedSourceSetFixed(SeedSource& source, uint32_t seed);
void seedSourceSetFree(SeedSource& source);
void seedSourceRestart(SeedSource& source);  // next draw is k = 0
uint32_t seedSourceDraw(SeedSource& source);
