#pragma once
// One fuzz input as command streams into a synthesizer with a valid patch
// bank, with renders in between. Input: blocks of [length][length command
// bytes][frames to render / 4]; each block's commands get end bytes
// appended so the parser always finds one where a status may stand. Shared
// by fuzz_commands and the regression test that replays its inputs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>
#include "player/module_writer.h"
#include "synth/param_index.h"
#include "synth/synth.h"

namespace fuzz {

inline PatchRecord commandsPatch(uint8_t seed) {
    PatchRecord patch;
    for (size_t i = 0; i < patch.voice.size(); ++i) patch.voice[i] = static_cast<uint8_t>((i * 37 + seed) & 127);
    for (size_t i = 0; i < patch.channel.size(); ++i) patch.channel[i] = static_cast<uint8_t>((i * 53 + seed) & 127);
    patch.voice[eg1Release] = 40;
    patch.polyphony = static_cast<uint8_t>(seed % 9);
    for (uint8_t r = 0; r < 6; ++r) {
        patch.routings.push_back({static_cast<uint8_t>(r * 3 + seed), static_cast<uint8_t>(r * 40),
                                  static_cast<uint8_t>(r * 17 + seed)});
    }
    return patch;
}

struct CommandRun {
    std::vector<uint8_t> bank;
    uint8_t globals[globalParamCount];
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    float buffer[2 * 1024];
    std::vector<uint8_t> commands;
    CommandRun() {
        std::vector<PatchRecord> patches;
        for (uint8_t p = 0; p < 128; ++p) patches.push_back(commandsPatch(p));
        bank = buildPatchBank(patches);
        for (int32_t i = 0; i < globalParamCount; ++i) globals[i] = static_cast<uint8_t>((i * 29) & 127);
        commands.reserve(256 + 3);
    }
};

inline void runCommands(CommandRun& run, const uint8_t* data, size_t size) {
    Synth& synth = *run.synth;
    synthSetSeed(synth, 7);
    synthInit(synth, run.bank.data(), static_cast<uint32_t>(run.bank.size()), 44100);
    synthSetGlobals(synth, run.globals);
    size_t at = 0;
    while (at < size) {
        const size_t length = data[at++];
        const size_t take = std::min(length, size - at);
        run.commands.assign(data + at, data + at + take);
        at += take;
        run.commands.insert(run.commands.end(), {0xFD, 0xFD, 0xFD});
        synthProcessCommands(synth, run.commands.data());
        const uint32_t frames = at < size ? data[at++] * 4u : 128u;
        synthRender(synth, run.buffer, frames, nullptr, 0);
    }
}

}  // namespace fuzz
