#pragma once
// The voice filter (see synth/voice/filter.h) for many filters at once, one
// per SIMD lane, each with its own settings, state and response. Every lane
// computes exactly what filterProcess computes for its filter: the same
// operations in the same order, without fused multiply-add.
#include <cstdint>

constexpr int32_t filterLaneCapacity = 64;   // filters in one batch
constexpr int32_t filterLaneQuantum = 16;    // the widest vector's lanes

// A batch of filters in lane-major order: sample k of lane j at
// samples[k * rowStride + j]. lanes is a multiple of filterLaneQuantum;
// lanes of mode 0 pass their samples through (their state is not kept), and
// a pass whose lanes are all of mode 0 is skipped.
struct FilterLanes {
    int32_t lanes;
    int32_t rowStride;  // at least lanes
    alignas(64) float freq[filterLaneCapacity];
    alignas(64) float damp[filterLaneCapacity];
    alignas(64) int32_t mode[filterLaneCapacity];  // 0 bypass, 1..5
    alignas(64) float low[filterLaneCapacity];
    alignas(64) float band[filterLaneCapacity];
};

// Runs n samples of every lane in place, on the best SIMD target of the
// machine (or the one a test has chosen: see lane_targets.h).
void filterLanesProcess(FilterLanes& batch, float* samples, int32_t n);

// A voice's two filters for many voices at once, one voice per SIMD lane, in
// one pass through the samples: filter 1; for voices routed in parallel,
// filter 2 on the same input and the two outputs weighted and summed; for
// voices routed in series, filter 2 on filter 1's output. The recursions
// are independent of each other within a sample, so each hides part of the
// others' latency. Every lane computes exactly what the voice computes.
constexpr int32_t filterSectionCapacity = filterLaneCapacity;  // voices in one batch

// Lane j < lanes is a voice: first holds its filter 1, second its filter 2
// when it is routed in parallel or in series (mode 0 otherwise). Lanes of
// mode 0 pass their input through and their state is not kept.
struct FilterSectionLanes {
    int32_t lanes;  // a multiple of filterLaneQuantum
    FilterLanes first;
    FilterLanes second;
    alignas(64) int32_t parallel[filterSectionCapacity];  // nonzero: routed in parallel
    alignas(64) float gain1[filterSectionCapacity];
    alignas(64) float gain2[filterSectionCapacity];
};

// Runs n samples of every lane in place over samples[k * lanes + j], on the
// best SIMD target of the machine (or the one a test has chosen).
void filterSectionLanesProcess(FilterSectionLanes& section, float* samples, int32_t n);
