#pragma once
// An auto-reset event: a signal wakes one wait (or the next one, if nobody
// waits yet) and is used up by it.
#include <chrono>
#include <condition_variable>
#include <mutex>

struct WakeEvent {
    std::mutex mutex;
    std::condition_variable signal;
    bool signaled = false;
};

void wakeEventReset(WakeEvent& event);
void wakeEventSet(WakeEvent& event);
// Returns when signaled or after timeout, whichever comes first.
void wakeEventWait(WakeEvent& event, std::chrono::milliseconds timeout);
