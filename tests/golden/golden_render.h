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
constexpr double goldenTailSeconds = 2.0;  // the most tail a golden render keeps

struct GoldenOptions {
    // Runs on the synthesizer after the song is opened, before the first
    // frame: where a test picks the engine or the settings a render uses.
    std::function<void(Synth&)> prepare;
    int32_t sampleRate = 44100;  // a "second" of digest stays 44,100 frames
};

struct GoldenRender {
    std::vector<float> samples;        // whole seconds of stereo frames
    std::vector<std::string> digests;  // one per second
    uint64_t lengthFrames = 0;         // the render-length rule's frames (song and tail)
    uint64_t songEndFrame = 0;         // where the player ended the song
    uint64_t measuredSongFrames = 0;   // the song's length as measured without rendering
    uint64_t steppedSongFrames = 0;    // and as the offline render's sequencer walk counts it
    std::string error;                 // set when the song does not build or open
};

// Builds song (a song source) and renders it with seed from its first frame
// for seconds whole seconds; with seconds 0, until the render-length rule
// ends it (at most goldenTailSeconds of tail), rounded up to a whole second.
GoldenRender goldenRender(const std::filesystem::path& song, uint32_t seed, uint32_t seconds,
                          const GoldenOptions& options = {});

// A command stream fed straight to the synthesizer (blocks of [length]
// [commands][frames / 4], as the command fuzzer reads them) over eight
// saw patches, rendered into separate left and right buffers: odd blocks add to
// what the block before left there, even ones overwrite it. With
// hostileFpMode the caller's floating-point mode around every call is one
// the synthesizer must not render in (error is set if a call changes it).
GoldenRender goldenStreamRender(const std::filesystem::path& stream, bool hostileFpMode = false);

// MIDI wire bytes in the same blocks, through the MIDI parser and the live
// engine's queue (odd blocks' messages due 100 frames into the next render)
// to the same synthesizer, rendered interleaved.
GoldenRender goldenLiveRender(const std::filesystem::path& stream);

std::vector<std::string> secondDigests(const std::vector<float>& samples);
