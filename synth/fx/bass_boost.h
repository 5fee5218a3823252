#pragma once
// Second-order low shelf at 150 Hz, 0 to about 12 dB, direct form I per side.
#include <cstdint>

struct BassBoost {
    int32_t on;
    float a1, a2;
    float b0, b1, b2;
    float x1L, x1R;
    float x2L, x2R;
    float y1L, y1R;
    float y2L, y2R;
};

void bassBoostSetup(BassBoost& boost, float p);
void bassBoostProcess(BassBoost& boost, float* buffer, int32_t n);
