// Any bytes as a module: parse, open, play and render two seconds in odd
// chunks, stop and close.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include "player/module_player.h"
#include "synth/synth.h"

namespace {
constexpr uint32_t chunkFrames = 450;
constexpr uint32_t renderFrames = 2 * 44100;

struct Instances {
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();
    float buffer[2 * chunkFrames];
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Instances* instances = new Instances;
    if (size > 0xFFFFFFFFu) return 0;
    ModulePlayer& player = *instances->player;
    playerInit(player, instances->synth.get(), OutputPort{});
    synthSetSeed(*instances->synth, 1);
    std::string reason;
    // The player keeps pointers into the image: give it a copy of exactly
    // the input's size, so any read past the end is caught.
    std::unique_ptr<uint8_t[]> image(new uint8_t[size ? size : 1]);
    std::copy(data, data + size, image.get());
    if (!playerOpen(player, image.get(), static_cast<uint32_t>(size), reason)) return 0;
    playerPlay(player);
    for (uint32_t done = 0; done < renderFrames; done += chunkFrames) {
        playerRender(&player, instances->buffer, chunkFrames);
    }
    playerStop(player);
    playerClose(player);
    return 0;
}
