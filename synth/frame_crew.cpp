#include "synth/frame_crew.h"
#include "synth/fp_mode.h"
#include "synth/synth.h"
#if defined(__SSE2__) || defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

void pause() {
#if defined(__SSE2__) || defined(__x86_64__)
    _mm_pause();
#endif
}

// A frame takes a fraction of a millisecond, so waits are short: spin a
// little, then sleep on the counter (the machine may have fewer free cores
// than threads, and a spinning thread would keep the one it waits for away).
constexpr int32_t spinsBeforeSleep = 2000;

void waitFor(std::atomic<int32_t>& counter, int32_t value) {
    for (int32_t spins = 0;; ++spins) {
        const int32_t now = counter.load(std::memory_order_acquire);
        if (now == value) return;
        if (spins < spinsBeforeSleep) pause();
        else counter.wait(now, std::memory_order_acquire);
    }
}

void arrive(std::atomic<int32_t>& counter) {
    counter.fetch_add(1, std::memory_order_acq_rel);
    counter.notify_all();
}

// Returns the new generation; sleeps on it when no frame comes soon.
uint32_t waitForFrame(const FrameCrew& crew, uint32_t seen) {
    for (int32_t spins = 0; spins < spinsBeforeSleep; ++spins) {
        const uint32_t now = crew.generation.load(std::memory_order_acquire);
        if (now != seen) return now;
        pause();
    }
    crew.generation.wait(seen, std::memory_order_acquire);
    return crew.generation.load(std::memory_order_acquire);
}

// The frame's work word: its generation, its number of tasks and the next
// unclaimed task, in one atomic so that a claim sees all three together.
uint64_t workWord(uint32_t generation, int32_t tasks) {
    return uint64_t(generation) << 32 | uint64_t(uint32_t(tasks)) << 16;
}

// Claims the next unclaimed task of frame `generation`; false when none is
// left or that frame is over. A worker that wakes late thus finds nothing
// to do, and the calling thread never waits for a worker that has not begun.
bool claimTask(FrameCrew& crew, uint32_t generation, int32_t& task) {
    uint64_t work = crew.work.load(std::memory_order_acquire);
    for (;;) {
        const int32_t tasks = int32_t((work >> 16) & 0xFFFF);
        const int32_t next = int32_t(work & 0xFFFF);
        if (uint32_t(work >> 32) != generation || next >= tasks) return false;
        if (crew.work.compare_exchange_weak(work, work + 1, std::memory_order_acq_rel,
                                            std::memory_order_acquire)) {
            task = next;
            return true;
        }
    }
}

void renderTasks(FrameCrew& crew, uint32_t generation) {
    int32_t task = 0;
    while (claimTask(crew, generation, task)) {
        synthFrameTask(*crew.synth, task, crew.frameLength);
        arrive(crew.tasksDone);
    }
}

void workerLoop(FrameCrew& crew) {
    FpModeGuard fpMode;  // the same floating-point mode as the rendering thread
    uint32_t seen = 0;
    for (;;) {
        seen = waitForFrame(crew, seen);
        if (crew.stopping.load(std::memory_order_acquire)) return;
        renderTasks(crew, seen);
    }
}

}  // namespace

int32_t frameCrewThreads(const FrameCrew& crew) { return int32_t(crew.workers.size()) + 1; }

void frameCrewStart(FrameCrew& crew, Synth& synth, int32_t threads) {
    crew.synth = &synth;
    crew.stopping = false;
    crew.generation = 0;
    crew.work = 0;
    for (int32_t worker = 0; worker + 1 < threads; ++worker) {
        crew.scratch.push_back(std::make_unique<FrameScratch>());
        crew.workers.emplace_back(workerLoop, std::ref(crew));
    }
    synth.crew = crew.workers.empty() ? nullptr : &crew;
}

void frameCrewStop(FrameCrew& crew) {
    crew.stopping.store(true, std::memory_order_release);
    crew.generation.fetch_add(1, std::memory_order_acq_rel);
    crew.generation.notify_all();
    for (std::thread& worker : crew.workers) worker.join();
    crew.workers.clear();
    crew.scratch.clear();
    crew.synth = nullptr;
}

FrameScratch& frameCrewScratch(FrameCrew& crew, int32_t part) { return *crew.scratch[size_t(part - 1)]; }

void frameCrewRender(FrameCrew& crew, int32_t tasks, int32_t n) {
    crew.frameLength = n;
    crew.tasksDone.store(0, std::memory_order_relaxed);
    const uint32_t generation = crew.generation.load(std::memory_order_relaxed) + 1;
    crew.work.store(workWord(generation, tasks), std::memory_order_release);
    crew.generation.store(generation, std::memory_order_release);
    crew.generation.notify_all();
    renderTasks(crew, generation);
    waitFor(crew.tasksDone, tasks);
}
