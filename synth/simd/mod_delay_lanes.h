#pragma once
// The modulated delay (see synth/fx/mod_delay.h) along time in SIMD lanes,
// on the chosen SIMD target (lane_targets.h): consecutive samples at once
// wherever no read reaches a sample written in the same stretch (a delay
// shorter than a vector runs sample by sample). Every value is what the
// scalar unit computes, the same operations in the same order.
#include <cstdint>
#include "synth/fx/mod_delay.h"

// As modDelayProcessStereo (a channel's chorus, in place).
void modDelayLanesStereo(ModDelay& unit, float* buffer, int32_t n);
// As modDelayProcessSend (the global delay from the mono bus, added to stereoOut).
void modDelayLanesSend(ModDelay& unit, const float* monoIn, float* stereoOut, int32_t n);
