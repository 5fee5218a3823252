#pragma once
// One oscillator slot of many voices at once, one voice per SIMD lane (see
// synth/voice/oscillator.h): each lane computes exactly what oscRender
// computes for its oscillator, the same operations in the same order,
// without fused multiply-add.
#include <cstdint>

constexpr int32_t oscLaneCapacity = 64;

// Lane-major: sample k of lane j at samples[k * rowStride + j]; lanes is a
// multiple of the widest vector's lanes (16), rowStride at least lanes.
// The box-filter shapes' constants are triSawShape's or pulseShape's.
struct OscLanes {
    int32_t lanes;
    int32_t rowStride;
    bool fresh;  // the samples hold nothing yet: render as into zeros
    alignas(64) int32_t mode[oscLaneCapacity];  // mode & 7, 0 for every silent mode
    alignas(64) int32_t ring[oscLaneCapacity];  // ring & 1
    alignas(64) uint32_t phase[oscLaneCapacity];
    alignas(64) uint32_t increment[oscLaneCapacity];
    alignas(64) uint32_t breakpoint[oscLaneCapacity];  // triSawShape's for mode 1
    alignas(64) int32_t tinyStep[oscLaneCapacity];
    alignas(64) float gain[oscLaneCapacity];
    alignas(64) float f[oscLaneCapacity];
    alignas(64) float bp[oscLaneCapacity];
    alignas(64) float slopeA[oscLaneCapacity];  // mode 1: A, mode 2: g / f
    alignas(64) float slopeB[oscLaneCapacity];  // mode 1: B, mode 2: X0
    alignas(64) float invF[oscLaneCapacity];    // mode 1: 1 / f, mode 2: X1
    alignas(64) float noiseFreq[oscLaneCapacity];
    alignas(64) float noiseDamp[oscLaneCapacity];
    alignas(64) uint32_t noiseSeed[oscLaneCapacity];
    alignas(64) float noiseLow[oscLaneCapacity];
    alignas(64) float noiseBand[oscLaneCapacity];
};

struct Oscillator;

// The mode an oscillator's lane runs: mode & 7, 0 for every silent mode.
int32_t oscLanesMode(const Oscillator& osc);
// Lane j takes an oscillator's mode, phase and noise state and its frame's
// shape constants; oscLanesKeep gives the lane's advanced state back to it.
void oscLanesSet(OscLanes& batch, int32_t j, const Oscillator& osc);
void oscLanesKeep(const OscLanes& batch, int32_t j, Oscillator& osc);

// Renders n samples of every lane into samples (added, multiplied in or, for
// FM, replacing; when fresh, as if into rows of +0), advancing phases and
// noise state, on the chosen target.
void oscLanesProcess(OscLanes& batch, float* samples, int32_t n);
