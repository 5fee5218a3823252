#pragma once
// voiceMix's amplitude ramp and pan for many voices at once, one per SIMD
// lane: each lane's left and right products are what voiceMix adds into its
// channel, the same operations in the same order, without fused multiply-add.
#include <cstdint>

constexpr int32_t mixLaneCapacity = 32;

// Lane-major input: sample k of lane j at samples[k * rowStride + j]. The
// products come out voice by voice, as a channel buffer holds them: lane j's
// left and right of sample k at stereo[j * stereoStride + 2 k] and 2 k + 1.
// lanes is a multiple of the widest vector's lanes (16); lanes from count on
// are padding, and their products are not kept.
struct MixLanes {
    int32_t lanes;
    int32_t count;
    int32_t rowStride;
    int32_t stereoStride;  // at least 2 n
    alignas(64) float amp[mixLaneCapacity];   // advanced by n steps
    alignas(64) float step[mixLaneCapacity];
    alignas(64) float gainLeft[mixLaneCapacity];
    alignas(64) float gainRight[mixLaneCapacity];
};

void mixLanesProcess(MixLanes& batch, const float* samples, float* stereo, int32_t n);
