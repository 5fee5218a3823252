#pragma once
// Worker threads that share the frames of one synthesizer with the thread
// that calls synthRender (offline rendering). A frame runs in stages (see
// FrameStage in synth.h); in each, every thread that is free claims the next
// task until none is left, and the calling thread waits for all of them.
// Every sum runs in a fixed order whatever thread computes it, so the samples
// are the same at every thread count. Each part works in its own scratch,
// whichever thread takes it. Starting and stopping allocate; a frame neither
// allocates nor locks: the threads meet through atomics, and idle workers
// sleep on one.
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
    std::vector<std::unique_ptr<FrameScratch>> scratch;  // parts 1.. (part 0: the synth's)
    std::atomic<uint32_t> generation{0};  // advanced to start a frame
    std::atomic<bool> stopping{false};
    int32_t frameLength = 0;
    std::atomic<uint64_t> work{0};      // the frame's generation, tasks and next task
    std::atomic<int32_t> tasksDone{0};  // tasks of the frame done
};

// threads counts the calling thread: threads - 1 workers, none below 2.
// Binds the crew to synth (synth.crew).
void frameCrewStart(FrameCrew& crew, Synth& synth, int32_t threads);
// Ends the workers; the synth (which may be gone already) must not render
// with the crew afterwards.
void frameCrewStop(FrameCrew& crew);
int32_t frameCrewThreads(const FrameCrew& crew);
// The scratch of part 1 or above.
FrameScratch& frameCrewScratch(FrameCrew& crew, int32_t part);
// The tasks of one stage (synthFrameTask) on the threads of the crew.
void frameCrewRender(FrameCrew& crew, int32_t tasks, int32_t n);
