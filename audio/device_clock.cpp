#include "audio/device_clock.h"

namespace {
constexpr int64_t framesPerSecond = 44100;
constexpr int64_t followShift = 6;  // a late request moves the lead 1/64 of the way
}  // namespace

void deviceClockReset(DeviceClock& clock, uint32_t chunkFrames) {
    clock.chunkFrames = chunkFrames;
    clock.requests = 0;
    clock.startNs = -1;
    clock.framesTaken = 0;
    clock.leadFrames = 0;
    clock.lastRequestNs.store(-1);
    clock.gaps.store(0);
    clock.gapFrames.store(0);
}

void deviceClockTick(DeviceClock& clock, int64_t nowNs, uint32_t frames) {
    clock.lastRequestNs.store(nowNs, std::memory_order_relaxed);
    // A sound server may wait a second or two after the first chunk before
    // it starts the stream: the clock starts at the second request.
    if (++clock.requests <= 2) {
        clock.startNs = nowNs;
        clock.framesTaken = 0;
    }
    const int64_t due = (nowNs - clock.startNs) * framesPerSecond / 1000000000;
    const int64_t lead = static_cast<int64_t>(clock.framesTaken) - due;
    clock.framesTaken += frames;
    const int64_t late = clock.leadFrames - lead;
    if (late > static_cast<int64_t>(clock.chunkFrames)) {
        clock.gaps.fetch_add(1, std::memory_order_relaxed);
        clock.gapFrames.fetch_add(static_cast<uint64_t>(late - clock.chunkFrames), std::memory_order_relaxed);
        clock.leadFrames = lead;  // the stream plays that much later from now on
    } else if (late < 0) {
        clock.leadFrames = lead;
    } else {
        clock.leadFrames -= late >> followShift;
    }
}

int64_t deviceClockSilentFor(const DeviceClock& clock, int64_t nowNs) {
    const int64_t last = clock.lastRequestNs.load(std::memory_order_relaxed);
    return last < 0 ? -1 : nowNs - last;
}
