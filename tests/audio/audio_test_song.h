#pragma once
// A short test song and its offline 16-bit render, the reference the sound
// output's recordings are compared with.
#include <cstdint>
#include <memory>
#include <vector>
#include "player/module_player.h"
#include "synth/synth.h"

// About 1.1 s: a sawtooth with some noise (so the samples depend on the
// seed and never repeat), four notes a quarter second apart.
std::vector<uint8_t> testSongImage();

// A player bound to its own synthesizer, with no sound output.
struct TestPlayer {
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();
};

// Opens image with a fixed seed and plays it, unbound from any output: the
// caller drives the render entry (directly or through a sound output).
void testPlayerStart(TestPlayer& test, const std::vector<uint8_t>& image, uint32_t seed);

// The first frames of the song as the sound output converts them at volume 1.
std::vector<int16_t> offlinePcm(const std::vector<uint8_t>& image, uint32_t seed, uint32_t frames);
