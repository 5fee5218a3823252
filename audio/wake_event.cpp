#include "audio/wake_event.h"

void wakeEventReset(WakeEvent& event) {
    while (event.semaphore.try_acquire()) {
    }
    event.signaled.store(false);
}

void wakeEventSet(WakeEvent& event) {
    // Only the signal that raises the flag releases, so the semaphore never
    // counts past one.
    if (!event.signaled.exchange(true)) event.semaphore.release();
}

void wakeEventWait(WakeEvent& event, std::chrono::milliseconds timeout) {
    if (event.semaphore.try_acquire_for(timeout)) event.signaled.store(false);
}
