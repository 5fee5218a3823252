#pragma once
// The reverb (see synth/fx/reverb.h) with its eight combs in SIMD lanes and
// its all-passes along time, on the chosen SIMD target (lane_targets.h).
// Every value is what reverbProcess computes: the same operations in the
// same order per comb, sum and all-pass, without fused multiply-add.
#include <cstdint>
#include "synth/fx/reverb.h"

void reverbLanesProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n);
