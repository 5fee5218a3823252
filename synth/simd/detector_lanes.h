#pragma once
// The compressor's level detectors (see synth/fx/compressor.h) for many
// channels at once, each side of each channel a SIMD lane, on the chosen SIMD
// target (lane_targets.h): a peak lane or a running-sum (RMS) lane, the same
// operations in the same order as the scalar detector's.
#include <cstdint>

constexpr int32_t detectorLaneCapacity = 32;

// Lanes past the units hold zeros; lanes is a multiple of 16.
struct DetectorLanes {
    int32_t lanes;
    alignas(64) int32_t rms[detectorLaneCapacity];     // 1: a running sum, 0: a peak
    alignas(64) float inGain[detectorLaneCapacity];
    alignas(64) float state[detectorLaneCapacity];     // the peak or the running sum
    alignas(64) int32_t failed[detectorLaneCapacity];  // 1 once a sum was below 0 or not a number
};

// m rows, lane-major (sample i of lane j at [i * lanes + j]; levels need not
// be aligned): inputs the detected samples; slots the window values each
// square replaces, which become the squares; levels receives the levels.
void detectorLanesProcess(DetectorLanes& batch, const float* inputs, float* slots, float* levels, int32_t m);
