#pragma once
// Small builders shared by the synth engine tests: a held-note patch, a
// heap-allocated synth and command streams.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>
#include "player/module_writer.h"
#include "synth/synth.h"
#include "tests/support/test_patches.h"

// An audible patch whose voices stay alive: sustain 128 with sustain time 64
// holds the level, release 127 is very slow.
inline PatchRecord heldPatch(uint8_t polyphony = 32) { return sawPatch(128, 127, polyphony); }

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
