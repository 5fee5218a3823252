#include "song/patch_defaults.h"

namespace {
// Parameters whose neutral value is not 0, by byte offset.
struct Neutral {
    int32_t param;
    uint8_t value;
};

constexpr Neutral neutralPatch[] = {
    {voicePanning, 64},   {voiceTranspose, 64},
    {osc1Mode, 1},        {osc1Transpose, 64},  {osc1Detune, 64}, {osc1Color, 127},
    {osc1Volume, 100},    {osc2Transpose, 64},  {osc2Detune, 64}, {osc2Color, 64},
    {osc3Transpose, 64},  {osc3Detune, 64},     {osc3Color, 64},
    {flt1Cutoff, 127},    {flt2Cutoff, 127},    {voiceFilterBalance, 64},
    {vdistInGain, 32},    {vdistParam1, 127},   {vdistParam2, 64},
    {eg1Decay, 64},       {eg1Sustain, 127},    {eg1SustainTime, 64}, {eg1Release, 40},
    {eg1Gain, 127},       {eg2Decay, 64},       {eg2Sustain, 127},    {eg2SustainTime, 64},
    {eg2Release, 40},     {eg2Gain, 127},       {lfo1Rate, 64},       {lfo2Rate, 64},
    {chanVolume, 100},    {cdistInGain, 32},    {cdistParam1, 127},   {cdistParam2, 64},
    {chorusAmount, 64},   {chorusFeedback, 64}, {chorusModPhase, 64},
    {compThreshold, 64},  {compOutGain, 64},    {compAutoGain, 1},
};

constexpr Neutral neutralGlobals[] = {
    {rvbTime, 64},        {rvbHighCut, 100},    {dlyAmount, 64},      {dlyFeedback, 64},
    {dlyModPhase, 64},    {globalHighCut, 127}, {mcompAutoGain, 1},   {mcompThreshold, 64},
    {mcompOutGain, 64},
};
}  // namespace

PatchRecord defaultPatch() {
    PatchRecord patch;
    uint8_t bytes[patchParamCount] = {};
    for (const Neutral& n : neutralPatch) bytes[n.param] = n.value;
    for (int32_t i = 0; i < voiceParamCount; ++i) patch.voice[i] = bytes[i];
    for (int32_t i = 0; i < channelParamCount; ++i) patch.channel[i] = bytes[voiceParamCount + i];
    patch.polyphony = 8;
    return patch;
}

std::array<uint8_t, globalParamCount> defaultGlobals() {
    std::array<uint8_t, globalParamCount> globals{};
    for (const Neutral& n : neutralGlobals) globals[n.param] = n.value;
    return globals;
}
