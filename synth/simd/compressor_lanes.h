#pragma once
// The compressor's gain computer (see synth/fx/compressor.h) for many
// channels at once, each side of each channel a SIMD lane, on the chosen
// SIMD target (lane_targets.h): the same operations in the same order as
// the scalar compressor's, both branches of each choice computed and one
// selected.
#include <cstdint>
#include "synth/fx/compressor.h"

constexpr int32_t compressorLaneUnits = 16;  // units in one call at most

// buffers[k] holds n pairs that left units[k]'s look-ahead line
// (compressorDelay) and levelRows their levels, as compressorDetectLanes
// lays them out: each pair becomes pair x output gain x gain, the gains
// stepping towards the levels' targets.
void compressorGainLanes(Compressor* const* units, const float* levelRows, float* const* buffers,
                         int32_t count, int32_t n);
