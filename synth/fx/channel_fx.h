#pragma once
// A channel's effect chain (compressor, bass boost, distortion, chorus),
// its volume and its two sends into the reverb and delay buses.
#include <cstdint>
#include "synth/fx/bass_boost.h"
#include "synth/fx/compressor.h"
#include "synth/fx/mod_delay.h"
#include "synth/setup_inputs.h"
#include "synth/voice/distortion.h"

struct Synth;

struct SynthChannel {
    float volume;
    float reverbSend;   // already includes volume
    float delaySend;    // already includes volume
    int32_t fxOrder;    // 0: distortion then chorus; otherwise chorus first
    BassBoost boost;
    Distortion distortion;
    ModDelay chorus;
    Compressor compressor;
    // What the last update read besides the patch (which stays until the
    // next synthInit): the program and controllers 1..7 as they are kept
    // (two words), the reverb send (routing source 0 reads it back) and the
    // rate constants rateScale, boostSin and boostCos. An update with the
    // same inputs is skipped.
    SetupInputs<6> updateInputs;
};

// Channel c of the synth: controller 7 to 127, bind its chorus lines and
// reset its units.
void channelFxInit(Synth& synth, int32_t c);
// Once per frame for every channel: parameters through the modulation
// matrix, then channelFxSetup; skipped when its inputs are those of the last update.
void channelFxUpdate(Synth& synth, int32_t c);
// The conversions and unit set-ups from synth.channelParams[c] as they stand.
void channelFxSetup(Synth& synth, int32_t c);
// The chain over synth.channelBuffer in place, then the sends and the volume
// into the reverb bus, the delay bus and the main mix. The compressor's
// level scratch is voiceBuffer/voiceBuffer2, idle while effects run.
void channelFxProcess(Synth& synth, int32_t c, int32_t n);
// Its two halves: the chain over buffer in place (levels: 2 x n floats of
// scratch; touches only channel c), then the sends and the volume into the
// buses, which must come channel after channel.
void channelFxChain(Synth& synth, int32_t c, float* buffer, float* levels, int32_t n);
void channelFxMix(Synth& synth, int32_t c, const float* buffer, int32_t n);
// The same on the chosen SIMD target, for the lane engine.
void channelFxMixLanes(Synth& synth, int32_t c, const float* buffer, int32_t n);
// The lane engine runs a frame part's chains together (channel_lanes.h),
// which ends each channel with channelFxFinish: the distortion and the
// chorus in the channel's order.
void channelFxFinish(Synth& synth, int32_t c, float* buffer, int32_t n);
