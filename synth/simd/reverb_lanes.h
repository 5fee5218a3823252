#pragma once
// The reverb (see synth/fx/reverb.h) with its eight combs in SIMD lanes and
// its all-passes along time, on the chosen SIMD target (lane_targets.h).
// Every value is what reverbProcess computes: the same operations in the
// same order per comb, sum and all-pass, without fused multiply-add.
#include <cstdint>
#include "synth/fx/reverb.h"
#include "synth/output_filter.h"

// What comes after the reverb on the main mix, when it runs in the reverb's
// loop: returns added after the reverb's (n interleaved pairs, as the mix),
// then the output cut over the mix. The output cut's recursion then runs
// beside the reverb's instead of after it.
struct ReverbFollowers {
    const float* returnsAfter = nullptr;
    OutputCut* cut = nullptr;
};

void reverbLanesProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n,
                        const ReverbFollowers& followers = {});
