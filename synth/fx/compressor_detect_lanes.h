#pragma once
// The lane engine's channel compressor detectors: many units' detectors
// together, each side of each unit a SIMD lane (synth/simd/detector_lanes.h).
#include <cstdint>
#include "synth/fx/compressor.h"

// Lanes of the level rows for count units: both sides of each, rounded up to
// the widest vector.
inline int32_t compressorLevelLanes(int32_t count) { return (2 * count + 15) / 16 * 16; }

// For units[k] (every one on, at most 16): the levels of the n pairs in
// buffers[k], the same as compressorProcess's detector gives (all 0 in a
// frame where a square root failed), into n lane-major rows: the level of
// side s of pair i at levelRows[i * compressorLevelLanes(count) + 2 k + s].
void compressorDetectLanes(Compressor* const* units, const float* const* buffers, float* levelRows,
                           int32_t count, int32_t n);
