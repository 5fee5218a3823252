#pragma once
// Second-order low shelf at 150 Hz, 0 to about 12 dB, direct form I per side.
// The gain at 0 Hz is 2^(p / 64); high frequencies pass at unity.
#include <cstdint>
#include "synth/voice/math.h"

struct BassBoost {
    int32_t on;         // the amount rounded; 0 bypasses and freezes the state
    float a1, a2;       // divided by a0
    float b0, b1, b2;   // divided by a0
    float x1L, x1R;
    float x2L, x2R;
    float y1L, y1R;
    float y2L, y2R;
};

// p: boost amount 0..128. Uses the rate's boostSin / boostCos.
void bassBoostSetup(BassBoost& boost, float p, const RateConstants& rates = rates44100);
// In place on n interleaved stereo frames: the left side, then the right.
void bassBoostProcess(BassBoost& boost, float* buffer, int32_t n);
