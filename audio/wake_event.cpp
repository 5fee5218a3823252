#include "audio/wake_event.h"

void wakeEventReset(WakeEvent& event) {
    std::lock_guard<std::mutex> guard(event.mutex);
    event.signaled = false;
}

void wakeEventSet(WakeEvent& event) {
    {
        std::lock_guard<std::mutex> guard(event.mutex);
        event.signaled = true;
    }
    event.signal.notify_one();
}

void wakeEventWait(WakeEvent& event, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(event.mutex);
    event.signal.wait_for(lock, timeout, [&] { return event.signaled; });
    event.signaled = false;
}
