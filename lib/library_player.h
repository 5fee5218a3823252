#pragma once
// What a wb_player holds: the module player and synthesizer over the
// library's own copy of the module bytes, the worker threads that share its
// frames, and the position the API reports.
#include <cstdint>
#include <vector>
#include "include/wembrastel/wembrastel.h"
#include "player/module_player.h"
#include "synth/frame_crew.h"
#include "synth/synth.h"

constexpr uint32_t libraryChunkFrames = 1024;  // frames per internal render step

struct wb_player {
    ModulePlayer player;
    Synth synth;
    FrameCrew crew;  // running from open to close, stopped across a synthesizer reset
    SynthEngine engine = SynthEngine::lanes;
    int32_t threads = 1;  // the calling thread and threads - 1 workers
    std::vector<uint8_t> image;
    int32_t sampleRate = WB_DEFAULT_SAMPLE_RATE;
    uint64_t position = 0;      // frames since the song's first frame
    uint64_t lengthFrames = 0;  // the song's first frame to its last event
    float scratch[2 * libraryChunkFrames];  // conversions and silent renders
};

// Writes message into error[0..size) cut and zero-terminated (nothing when
// error is null or size 0).
void libraryWriteError(char* error, size_t size, const char* message);
