#pragma once
// Stereo Schroeder reverb from the mono send bus: four damped combs and two
// all-passes per side, an output high-pass, and a denormal guard that clears
// the whole network at the end of a frame in which a stored value underflowed.
#include <cstdint>
#include <cstring>
#include "synth/voice/math.h"

// Left comb 1..4, left all-pass 1..2, right comb 1..4, right all-pass 1..2.
constexpr int32_t reverbLineLengths[12] = {1309, 1635, 1811, 1926, 220, 74,
                                           1327, 1631, 1833, 1901, 205, 77};
// Each line is followed by room for a mirror of its first reverbMirror
// values, kept by the lane engine (synth/simd/reverb_lanes.cpp) so that a
// block of that many samples reaches any line without a wrap; the scalar
// engine leaves it alone.
constexpr int32_t reverbMirror = 32;
constexpr int32_t reverbLineTotal = 13949 + 12 * reverbMirror;

struct Reverb {
    float combGain[4];
    float allpassGain[2];
    float inGain;
    float damp;         // comb low-pass coefficient (1 = no damping)
    float lowCut;       // output high-pass coefficient (0 = no cut)
    int32_t index[12];
    float combState[8];
    float lowCutState[2];
    // Every line value and state is +0, as reverbClear leaves them: fed
    // zeros, the network stays so and returns +0, and the lane engine only
    // moves the positions on. Any other frame of either engine clears it.
    bool silent;
    float lines[reverbLineTotal];
};

// Nonzero when v is a nonzero value below the smallest normal float: a
// stored value has underflowed, and the guard clears the network.
inline uint32_t reverbUnderflow(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & 0x7FFFFFFFu) - 1u < 0x007FFFFFu ? 1u : 0u;
}

// Where line k (0..11) starts in Reverb::lines.
inline float* reverbLine(Reverb& reverb, int32_t k) {
    int32_t offset = 0;
    for (int32_t j = 0; j < k; ++j) offset += reverbLineLengths[j] + reverbMirror;
    return reverb.lines + offset;
}

// p[0..3]: time, high cut, low cut, volume. Lines and states stay as they are.
void reverbSetup(Reverb& reverb, const float* p, const RateConstants& rates = rates44100);
// Zeroes positions, states and lines: the network is silent.
void reverbClear(Reverb& reverb);
// Reads n samples of the bus and adds n stereo frames into mainMix.
void reverbProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n);
