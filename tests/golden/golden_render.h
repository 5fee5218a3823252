#pragma once
// Golden renders: a song source rendered offline with a fixed seed, and one
// SHA-256 per second of its f32 output (interleaved stereo, little-endian
// bytes, 44,100 frames a second), so that a changed sample names its song
// and second. tests/golden/expected.txt holds the digests of a known-good
// build; scripts/golden --update rewrites it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct Synth;

constexpr uint32_t goldenFramesPerSecond = 44100;

struct GoldenOptions {
    // Runs on the synthesizer after the song is opened, before the first
    // frame: where a test picks the engine or the settings a render uses.
    std::function<void(Synth&)> prepare;
};

struct GoldenRender {
    std::vector<float> samples;        // seconds x 44,100 stereo frames
    std::vector<std::string> digests;  // one per second
    std::string error;                 // set when the song does not build or open
};

// Seconds a song's golden render lasts: the song rounded up to whole
// seconds, and one more for the release and effect tails.
uint32_t goldenSeconds(const std::vector<uint8_t>& image);

// Builds song (a song source) and renders it from its first frame for
// seconds whole seconds with seed; seconds 0 takes goldenSeconds.
GoldenRender goldenRender(const std::filesystem::path& song, uint32_t seed, uint32_t seconds,
                          const GoldenOptions& options = {});

std::vector<std::string> secondDigests(const std::vector<float>& samples);
