#pragma once
// Counts the allocations made between start and stop, on any thread: the
// test executable replaces malloc, calloc, realloc and pthread_mutex_lock
// unless a sanitizer owns them.
#include <cstdint>

void allocationCountingStart();
// Stops counting and returns the allocations made since the start.
uint64_t allocationCountingStop();
// False under AddressSanitizer or ThreadSanitizer: nothing is counted.
bool allocationCountingCoversMalloc();
// Mutex acquisitions in the last counting window (when
// allocationCountingCoversMalloc).
uint64_t locksCounted();
