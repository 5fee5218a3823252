#pragma once
// One fuzz input as a module: parse, open, play and render two seconds in
// odd chunks, stop and close. Shared by fuzz_module and the regression test
// that replays the inputs it found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include "player/module_player.h"
#include "synth/synth.h"

namespace fuzz {

constexpr uint32_t moduleChunkFrames = 450;
constexpr uint32_t moduleRenderFrames = 2 * 44100;

struct ModuleRun {
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();
    float buffer[2 * moduleChunkFrames];
};

// Renders the input; false when the parse refuses it.
inline bool runModule(ModuleRun& run, const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return false;
    ModulePlayer& player = *run.player;
    playerInit(player, run.synth.get(), OutputPort{});
    synthSetSeed(*run.synth, 1);
    std::string reason;
    // The player keeps pointers into the image: give it a copy of exactly
    // the input's size, so any read past the end is caught.
    std::unique_ptr<uint8_t[]> image(new uint8_t[size ? size : 1]);
    std::copy(data, data + size, image.get());
    if (!playerOpen(player, image.get(), static_cast<uint32_t>(size), reason)) return false;
    playerPlay(player);
    for (uint32_t done = 0; done < moduleRenderFrames; done += moduleChunkFrames) {
        playerRender(&player, run.buffer, moduleChunkFrames);
    }
    playerStop(player);
    playerClose(player);
    return true;
}

}  // namespace fuzz
