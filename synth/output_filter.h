#pragma once
// The output low cut and high cut on the main mix, after the reverb and the
// global delay and before the master compressor.
#include <cstdint>

struct Synth;

// Coefficient of either stage from its global parameter p (0..127): ((p + 1) / 128)^2.
// 127 gives exactly 1.0: the low cut becomes a first difference and the high
// cut is bypassed.
float outputCutCoef(float p);

// n interleaved stereo pairs in place. Per side: the low cut outputs
// d = x - s1 and moves s1 by lowCutCoef x d; the high cut then low-passes d
// unless its coefficient is exactly 1.0. The four states live in the Synth.
void outputFilterProcess(Synth& synth, float* buffer, int32_t n);
