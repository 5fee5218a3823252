#pragma once
// voiceMix's amplitude ramp and pan for many voices at once, one per SIMD
// lane: each lane's left and right products are what voiceMix adds into its
// channel, the same operations in the same order, without fused multiply-add.
#include <cstdint>

constexpr int32_t mixLaneCapacity = 32;

// Lane-major input: sample k of lane j at samples[k * rowStride + j]; the
// products go to left and right at k * lanes + j. lanes is a multiple of the
// widest vector's lanes (16).
struct MixLanes {
    int32_t lanes;
    int32_t rowStride;
    alignas(64) float amp[mixLaneCapacity];   // advanced by n steps
    alignas(64) float step[mixLaneCapacity];
    alignas(64) float gainLeft[mixLaneCapacity];
    alignas(64) float gainRight[mixLaneCapacity];
};

void mixLanesProcess(MixLanes& batch, const float* samples, float* left, float* right, int32_t n);
