#pragma once
// The voice distortion's overdrive, clip and crusher (see synth/voice/distortion.h)
// for many voices at once, one per SIMD lane: each lane computes exactly
// what distProcessMono computes, the same operations in the same order,
// without fused multiply-add.
#include <cstdint>

constexpr int32_t distLaneCapacity = 32;

// Lane-major, in place: sample k of lane j at samples[k * rowStride + j];
// lanes is a multiple of the widest vector's lanes (16). Lanes of any other
// mode are left as they are.
struct DistLanes {
    int32_t lanes;
    int32_t rowStride;
    alignas(64) int32_t mode[distLaneCapacity];  // the distortion's mode
    alignas(64) float gain[distLaneCapacity];
    alignas(64) float offset[distLaneCapacity];
    alignas(64) float outScale[distLaneCapacity];
    alignas(64) float crushScale[distLaneCapacity];
    alignas(64) int32_t crushMult[distLaneCapacity];
    alignas(64) int32_t crushXor[distLaneCapacity];
};

struct Distortion;

bool distLanesTake(int32_t mode);  // the modes the lanes compute
// Lane j of batch takes dist's mode and settings.
void distLanesSet(DistLanes& batch, int32_t j, const Distortion& dist);
void distLanesProcess(const DistLanes& batch, float* samples, int32_t n);
