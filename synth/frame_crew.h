#pragma once
// Worker threads that share the frames of one synthesizer with the thread
// that calls synthRender (offline rendering): each frame, every thread
// that is free takes the next part of the channels (as many parts as
// threads, about even in voices) and renders its voices and effects; the
// calling thread then sums the channels in channel
// order and runs the global bus, so the samples are the same at every thread
// count. Starting and stopping allocate; a frame neither allocates nor
// locks: the threads meet through atomics, and idle workers sleep on one.
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

struct Synth;
struct FrameScratch;

struct FrameCrew {
    Synth* synth = nullptr;
    std::vector<std::thread> workers;
    std::vector<std::unique_ptr<FrameScratch>> scratch;  // one per worker
    std::atomic<uint32_t> generation{0};  // advanced to start a frame
    std::atomic<bool> stopping{false};
    int32_t frameLength = 0;
    std::atomic<uint64_t> work{0};      // the frame's generation, parts and next part
    std::atomic<int32_t> partsDone{0};  // parts of the frame rendered
};

// threads counts the calling thread: threads - 1 workers, none below 2.
// Binds the crew to synth (synth.crew).
void frameCrewStart(FrameCrew& crew, Synth& synth, int32_t threads);
// Ends the workers; the synth (which may be gone already) must not render
// with the crew afterwards.
void frameCrewStop(FrameCrew& crew);
int32_t frameCrewThreads(const FrameCrew& crew);
// One frame's voices and channels, in parts (at most the crew's threads),
// on the threads of the crew.
void frameCrewRender(FrameCrew& crew, Synth& synth, int32_t parts, int32_t n);
