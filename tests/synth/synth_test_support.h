#pragma once
// Small builders shared by the synth engine tests: a held-note patch, banks,
// a heap-allocated synth and command streams.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>
#include "player/module_writer.h"
#include "synth/synth.h"

// An audible patch whose voices stay alive: attack 0 reaches full level at
// once, sustain 128 with sustain time 64 holds it, release 127 is very slow.
inline PatchRecord heldPatch(uint8_t polyphony = 32) {
    PatchRecord patch;
    auto& v = patch.voice;
    v[voicePanning] = 64;
    v[voiceTranspose] = 64;
    v[osc1Mode] = 1;  // triangle/saw
    v[osc1Transpose] = 64;
    v[osc1Detune] = 64;
    v[osc1Color] = 64;
    v[osc1Volume] = 100;
    v[osc2Transpose] = v[osc3Transpose] = 64;
    v[osc2Detune] = v[osc3Detune] = 64;
    v[flt1Cutoff] = v[flt2Cutoff] = 127;
    v[voiceFilterBalance] = 64;
    v[vdistInGain] = 32;
    v[eg1Attack] = v[eg2Attack] = 0;
    v[eg1Decay] = v[eg2Decay] = 64;
    v[eg1Sustain] = v[eg2Sustain] = 128;
    v[eg1SustainTime] = v[eg2SustainTime] = 64;
    v[eg1Release] = v[eg2Release] = 127;
    v[eg1Gain] = v[eg2Gain] = 127;
    auto& c = patch.channel;
    c[chanVolume - voiceParamCount] = 100;
    c[cdistInGain - voiceParamCount] = 32;
    patch.polyphony = polyphony;
    return patch;
}

inline std::unique_ptr<Synth> makeSynth() { return std::make_unique<Synth>(); }

// Seeded init, so that two synths built alike render alike.
inline void initSynth(Synth& synth, const std::vector<uint8_t>& bank, int32_t rate = 44100,
                      uint32_t seed = 1) {
    synthSetSeed(synth, seed);
    synthInit(synth, bank.data(), static_cast<uint32_t>(bank.size()), rate);
}

inline void send(Synth& synth, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> stream(bytes);
    synthProcessCommands(synth, stream.data());
}

inline int32_t voicesOn(const Synth& synth, int32_t channel) {
    int32_t count = 0;
    for (int32_t v = 0; v < synthVoiceCount; ++v) count += synth.voiceChannel[v] == channel;
    return count;
}

// Global bytes with everything audible passing: the output cuts open
// (low cut 0, high cut 127), the effects at the given values otherwise.
inline std::vector<uint8_t> openGlobals() {
    std::vector<uint8_t> g(globalParamCount, 0);
    g[globalLowCut] = 0;
    g[globalHighCut] = 127;
    return g;
}
