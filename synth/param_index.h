#pragma once
// Byte offsets of the patch parameters inside a patch record, and of the
// global parameters inside the 22-byte global block, with their names.
#include <cstdint>

enum PatchParam : int32_t {
    voicePanning, voiceTranspose,
    osc1Mode, osc1RingMod, osc1Transpose, osc1Detune, osc1Color, osc1Volume,
    osc2Mode, osc2RingMod, osc2Transpose, osc2Detune, osc2Color, osc2Volume,
    osc3Mode, osc3RingMod, osc3Transpose, osc3Detune, osc3Color, osc3Volume,
    flt1Mode, flt1Cutoff, flt1Resonance,
    flt2Mode, flt2Cutoff, flt2Resonance,
    voiceFilterRouting, voiceFilterBalance,
    vdistMode, vdistInGain, vdistParam1, vdistParam2,
    eg1Attack, eg1Decay, eg1Sustain, eg1SustainTime, eg1Release, eg1Gain,
    eg2Attack, eg2Decay, eg2Sustain, eg2SustainTime, eg2Release, eg2Gain,
    lfo1Mode, lfo1KeySync, lfo1EnvMode, lfo1Rate, lfo1Phase, lfo1Polarity, lfo1Amplitude,
    lfo2Mode, lfo2KeySync, lfo2EnvMode, lfo2Rate, lfo2Phase, lfo2Polarity, lfo2Amplitude,
    voiceKeySync,
    // channel parameters, bytes 59..83
    chanVolume, chanReverbSend, chanDelaySend, chanFxOrder, boostAmount,
    cdistMode, cdistInGain, cdistParam1, cdistParam2,
    chorusAmount, chorusFeedback, chorusDelayL, chorusDelayR, chorusModRate, chorusModDepth,
    chorusModPhase,
    compMode, compStereoLink, compAutoGain, compLookahead, compThreshold, compRatio,
    compAttack, compRelease, compOutGain,
    patchParamCount  // 84
};

constexpr int32_t voiceParamCount = 59;
constexpr int32_t channelParamCount = 25;
constexpr int32_t patchPolyphonyOffset = 84;
constexpr int32_t patchRoutingCountOffset = 85;
constexpr int32_t patchRoutingsOffset = 86;
static_assert(patchParamCount == voiceParamCount + channelParamCount);

enum GlobalParam : int32_t {
    rvbTime, rvbHighCut, rvbLowCut, rvbVolume,
    dlyAmount, dlyFeedback, dlyLengthL, dlyLengthR, dlyModRate, dlyModDepth, dlyModPhase,
    globalLowCut, globalHighCut,
    mcompMode, mcompStereoLink, mcompAutoGain, mcompLookahead, mcompThreshold, mcompRatio,
    mcompAttack, mcompRelease, mcompOutGain,
    globalParamCount  // 22
};

// Parameter names in byte order, as songs and tools spell them.
extern const char* const patchParamNames[patchParamCount];
extern const char* const globalParamNames[globalParamCount];
