#pragma once
// An auto-reset event: a signal wakes one wait (or the next one, if nobody
// waits yet) and is used up by it; signals that arrive before the wait has
// used up the previous one coalesce with it. Built on a semaphore and an
// atomic flag, so neither the signalling nor the waiting thread takes a lock.
#include <atomic>
#include <chrono>
#include <semaphore>

struct WakeEvent {
    std::binary_semaphore semaphore{0};
    std::atomic<bool> signaled{false};  // a release is pending or not yet used up
};

// Only while no thread waits or signals (at start).
void wakeEventReset(WakeEvent& event);
void wakeEventSet(WakeEvent& event);
// Returns when signaled or after timeout, whichever comes first.
void wakeEventWait(WakeEvent& event, std::chrono::milliseconds timeout);
