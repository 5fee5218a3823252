#pragma once
// Counts the allocations made between start and stop, on any thread: the
// test executable replaces every global operator new and delete, and also
// malloc, calloc and realloc unless a sanitizer owns the allocator.
#include <cstdint>

void allocationCountingStart();
// Stops counting and returns the allocations made since the start.
uint64_t allocationCountingStop();
// False under AddressSanitizer or ThreadSanitizer: only operator new is counted.
bool allocationCountingCoversMalloc();
