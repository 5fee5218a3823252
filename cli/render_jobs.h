#pragma once
// q7m render's work: each module rendered through the library to its own
// sound file (or to a folder of stems), several modules in parallel.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// What every module of one q7m render shares.
struct RenderSettings {
    bool f32 = false;           // floats unchanged; otherwise 16-bit as the sound card gets it
    bool seeded = false;
    uint32_t seed = 0;
    uint32_t sampleRate = 44100;
    bool fixedLength = false;   // fixedFrames from the song's first frame
    uint64_t fixedFrames = 0;
    double tailSeconds = 30;
    bool force = false;
    bool progress = false;      // a progress bar on stderr (one module only)
    bool scalarEngine = false;  // one voice at a time instead of SIMD lanes (the same samples)
    int threads = 1;            // threads rendering the voices and channels of each frame, per module
};

// One module and where it goes: output (a file, "-" for stdout), or, when
// stemsDir is not empty, that folder.
struct RenderTask {
    std::string input;
    std::string output;
    std::string stemsDir;
};

// Set by a signal handler: every render stops and leaves no file behind.
extern std::atomic<int> renderInterrupt;

// Renders one module; on failure prints "q7m: FILE: reason" and returns the
// exit status (1 I/O, 2 invalid input); 0 on success.
int renderModule(const RenderTask& task, const RenderSettings& settings);

// Renders every task on up to jobs threads; returns the worst status.
int renderAll(const std::vector<RenderTask>& tasks, const RenderSettings& settings, unsigned jobs);
