#pragma once
// Stereo Schroeder reverb from the mono send bus: four damped combs and two
// all-passes per side, an output high-pass, and a denormal guard.
#include <cstdint>

constexpr int32_t reverbLineLengths[12] = {1309, 1635, 1811, 1926, 220, 74,
                                           1327, 1631, 1833, 1901, 205, 77};
constexpr int32_t reverbLineTotal = 13949;

struct Reverb {
    float combGain[4];
    float allpassGain[2];
    float inGain;
    float damp;
    float lowCut;
    int32_t index[12];
    float combState[8];
    float lowCutState[2];
    float lines[reverbLineTotal];
};

void reverbSetup(Reverb& reverb, const float* p);  // p[0..3]
void reverbClear(Reverb& reverb);
void reverbProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n);
