#pragma once
// A frame's voices rendered together, for SIMD lanes: every active voice's
// oscillators first, then both filters of all voices at once (one voice
// per lane), then the distortion, the amplitude ramp and pan; each
// voice is then added into its channel in voice order, so every sample is
// what voiceRender gives.
#include <cstdint>
#include "synth/simd/dist_lanes.h"
#include "synth/simd/filter_lanes.h"
#include "synth/simd/mix_lanes.h"
#include "synth/simd/osc_lanes.h"

struct Synth;

constexpr int32_t laneVoiceCount = 32;
constexpr int32_t laneFrameLength = 280;

// One thread's lane-major rows (see voice_lanes.cpp), unit batches, and each
// voice's panned samples, interleaved left and right as in a channel buffer:
// the voice in lane laneOf[voice] at stereo[lane].
struct LaneScratch {
    alignas(64) float samples[laneFrameLength * filterLaneCapacity];
    FilterSectionLanes section;
    FilterLanes batch;  // the distortions' filter modes
    DistLanes dist;
    OscLanes osc;
    MixLanes mix;
    alignas(64) float stereo[laneVoiceCount][2 * laneFrameLength];
    int32_t laneOf[laneVoiceCount];
    bool shapesDeferred;  // the distortion's shaping modes, left to voicesMixLanes
    bool mixDeferred;
};

// Renders n samples of the listed voices (indices in increasing order) up to
// their panned samples, advancing their amplitude ramps; with deferMix the
// distortion's shaping modes (which keep no state) and the products are left
// to voicesMixLanes (on any thread, while the voices render their next frame
// elsewhere).
void voicesRenderLanes(Synth& synth, LaneScratch& scratch, const int32_t* voices, int32_t count,
                       int32_t n, bool deferMix);
// The deferred shaping and products of the voices voicesRenderLanes rendered last.
void voicesMixLanes(LaneScratch& scratch, int32_t n);
// Adds one of them into the interleaved stereo channelBuffer, as voiceMix does.
void voiceAddFromLanes(const LaneScratch& scratch, int32_t voice, float* channelBuffer, int32_t n);
// The voices (count of them) in the order the lanes lay them out: sorted,
// stably, by their oscillator modes, so that voices sharing their
// oscillators' code paths sit in neighbouring lanes.
void voicesByModes(const Synth& synth, const int32_t* voices, int32_t count, int32_t* sorted);
