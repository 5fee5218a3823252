#pragma once
// A one-line progress bar on stderr for a render: song position against the
// song's length (then the tail), and the speed as a multiple of real time.
// Drawn only when enabled; redrawn at most ten times a second.
#include <chrono>
#include <cstdint>

struct RenderProgress {
    bool enabled = false;
    uint64_t songFrames = 0;
    uint32_t sampleRate = 44100;  // frames per second of the render
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastDrawn;
    bool drawn = false;
};

void progressStart(RenderProgress& progress, bool enabled, uint64_t songFrames);
// framesDone: frames rendered from the song's first frame.
void progressUpdate(RenderProgress& progress, uint64_t framesDone);
// Clears the line.
void progressFinish(RenderProgress& progress);
