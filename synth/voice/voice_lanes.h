#pragma once
// A frame's voices rendered together, for SIMD lanes: every active voice's
// oscillators first, then each filter stage for all voices at once (one
// filter per lane), then the distortion. voiceMix then adds each voice into
// its channel in voice order, so every sample is what voiceRender gives.
#include <cstdint>
#include "synth/simd/filter_lanes.h"
#include "synth/simd/osc_lanes.h"

struct Synth;

constexpr int32_t laneVoiceCount = 32;
constexpr int32_t laneFrameLength = 280;

// Each voice's output samples.
struct VoiceLaneWork {
    alignas(64) float mono[laneVoiceCount][laneFrameLength];
};

// One thread's lane-major rows (see voice_lanes.cpp) and unit batches.
struct LaneScratch {
    alignas(64) float samples[laneFrameLength * filterLaneCapacity];
    FilterLanes batch;
    OscLanes osc;
};

// Renders n samples of the listed voices (indices in increasing order) into
// work.mono.
void voicesRenderLanes(Synth& synth, VoiceLaneWork& work, LaneScratch& scratch,
                       const int32_t* voices, int32_t count, int32_t n);
