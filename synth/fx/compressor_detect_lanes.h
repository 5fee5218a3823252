#pragma once
// The lane engine's channel compressor detectors: many units' detectors
// together, each side of each unit a SIMD lane (synth/simd/detector_lanes.h).
#include <cstdint>
#include "synth/fx/compressor.h"

// For units[k] (every one on, at most 16): levels[k] receives the 2 x n
// levels of the n pairs in buffers[k], the same as compressorProcess's
// detector gives (all 0 in a frame where a square root failed).
void compressorDetectLanes(Compressor* const* units, const float* const* buffers, float* const* levels,
                           int32_t count, int32_t n);
