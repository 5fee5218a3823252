#pragma once
// Silence the sound device played on its own: a device that asks for its
// next chunk later than its buffer lasts plays silence in between (the sound
// server counts an underrun; SDL does not say). The device asks at the
// stream's rate, so its requests keep a steady lead over the wall clock; a
// request that comes more than one device chunk later than that lead means
// the device ran dry, and the stream is that much later from then on.
//
// The lead is the earliest seen, let slowly follow later requests so a
// device clock that runs a little slower than the wall clock is not taken
// for gaps.
//
// Threading: deviceClockTick runs on the device's thread; the counters and
// the last request time are read from any thread.
#include <atomic>
#include <cstdint>

struct DeviceClock {
    uint32_t chunkFrames = 0;     // what the device asks for per request
    uint32_t requests = 0;
    int64_t startNs = -1;         // the second request, where the clock starts
    uint64_t framesTaken = 0;     // before the current request
    int64_t leadFrames = 0;       // frames taken minus frames due, at the steadiest request
    std::atomic<int64_t> lastRequestNs{-1};
    std::atomic<uint32_t> gaps{0};
    std::atomic<uint64_t> gapFrames{0};  // the silence the gaps added, estimated
};

void deviceClockReset(DeviceClock& clock, uint32_t chunkFrames);
// A request for frames at nowNs (a monotonic clock); counts a gap when the
// request came too late.
void deviceClockTick(DeviceClock& clock, int64_t nowNs, uint32_t frames);
// Nanoseconds since the last request at nowNs; -1 before the first.
int64_t deviceClockSilentFor(const DeviceClock& clock, int64_t nowNs);
