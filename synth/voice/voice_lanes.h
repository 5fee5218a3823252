#pragma once
// A frame's voices rendered together, for SIMD lanes: every active voice's
// oscillators first, then each filter stage for all voices at once (one
// filter per lane), then the distortion. voiceMix then adds each voice into
// its channel in voice order, so every sample is what voiceRender gives.
#include <cstdint>
#include "synth/simd/filter_lanes.h"

struct Synth;

constexpr int32_t laneVoiceCount = 32;
constexpr int32_t laneFrameLength = 280;

struct VoiceLaneWork {
    alignas(64) float mono[laneVoiceCount][laneFrameLength];      // each voice's output
    alignas(64) float parallel[laneVoiceCount][laneFrameLength];  // filter 2 of parallel routing
    alignas(64) float samples[laneFrameLength * filterLaneCapacity];  // lane-major batch
    FilterLanes batch;
};

// Renders n samples of every voice that has a channel into work.mono.
void voicesRenderLanes(Synth& synth, VoiceLaneWork& work, int32_t n);
