#pragma once
// The patch and global bytes the synth, player and command-line tests build on.
#include <cstdint>
#include <vector>
#include "player/module_writer.h"
#include "synth/param_index.h"

// A rising triangle/saw on oscillator 1, filters open, distortion at unity,
// attack 0 (full level at once) and the given sustain and release.
inline PatchRecord sawPatch(uint8_t sustain, uint8_t release, uint8_t polyphony) {
    PatchRecord patch;
    auto& v = patch.voice;
    v[voicePanning] = v[voiceTranspose] = 64;
    v[osc1Mode] = 1;
    v[osc1Transpose] = v[osc2Transpose] = v[osc3Transpose] = 64;
    v[osc1Detune] = v[osc2Detune] = v[osc3Detune] = 64;
    v[osc1Color] = 64;
    v[osc1Volume] = 100;
    v[flt1Cutoff] = v[flt2Cutoff] = 127;
    v[voiceFilterBalance] = 64;
    v[vdistInGain] = 32;
    v[eg1Attack] = v[eg2Attack] = 0;
    v[eg1Decay] = v[eg2Decay] = 64;
    v[eg1Sustain] = v[eg2Sustain] = sustain;
    v[eg1SustainTime] = v[eg2SustainTime] = 64;
    v[eg1Release] = v[eg2Release] = release;
    v[eg1Gain] = v[eg2Gain] = 127;
    patch.channel[chanVolume - voiceParamCount] = 100;
    patch.channel[cdistInGain - voiceParamCount] = 32;
    patch.polyphony = polyphony;
    return patch;
}

// Global bytes with the output cuts open (low cut 0, high cut 127), the rest 0.
inline std::vector<uint8_t> openGlobals() {
    std::vector<uint8_t> g(globalParamCount, 0);
    g[globalHighCut] = 127;
    return g;
}
