#pragma once
// The bass boost (see synth/fx/bass_boost.h) of many channels at once, each
// side of each channel in a SIMD lane of its own, on the chosen SIMD target
// (lane_targets.h). Every lane computes what bassBoostProcess computes for
// its side: the same operations in the same order.
#include <cstdint>
#include "synth/fx/bass_boost.h"

constexpr int32_t bassBoostLaneUnits = 16;  // units in one call at most

// n interleaved stereo frames of buffers[k] in place through units[k], for
// k below count; every unit is on.
void bassBoostLanes(BassBoost* const* units, float* const* buffers, int32_t count, int32_t n);
