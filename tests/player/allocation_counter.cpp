// Replacement allocation functions for the test executable where no
// sanitizer supplies its own allocator: malloc, calloc, realloc and free
// (which operator new and delete end in), forwarded to the C library, and
// pthread_mutex_lock. While counting is on, each allocation and each lock
// taken is counted.
#include "allocation_counter.h"
#include <atomic>
#include <cstdlib>
#include <new>
#include <dlfcn.h>
#include <pthread.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define WB_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define WB_SANITIZER_ALLOCATOR 1
#endif
#endif

#if !defined(WB_SANITIZER_ALLOCATOR) && defined(__GLIBC__)
#define WB_COUNT_MALLOC 1
// The C library's own entry points, which the replacements forward to.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void __libc_free(void*);
#endif

namespace {
std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0};
std::atomic<uint64_t> locks{0};

[[maybe_unused]] void count() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void countLock() {
    if (counting.load(std::memory_order_relaxed)) locks.fetch_add(1, std::memory_order_relaxed);
}

void allocationCountingStart() {
    allocations.store(0);
    locks.store(0);
    counting.store(true);
}

uint64_t allocationCountingStop() {
    counting.store(false);
    return allocations.load();
}

uint64_t locksCounted() { return locks.load(); }

bool allocationCountingCoversMalloc() {
#ifdef WB_COUNT_MALLOC
    return true;
#else
    return false;
#endif
}

#ifdef WB_COUNT_MALLOC
extern "C" void* malloc(std::size_t size) {
    count();
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t n, std::size_t size) {
    count();
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t size) {
    count();
    return __libc_realloc(p, size);
}
extern "C" void free(void* p) { __libc_free(p); }

// Mutex acquisitions (std::mutex and the C++ locks built on it end here),
// forwarded to the C library's entry point, looked up once.
using MutexLock = int (*)(pthread_mutex_t*);
MutexLock libcMutexLock() {
    static const MutexLock next = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    return next;
}
// Looked up before main, not inside a counted window.
const bool mutexLockResolved = libcMutexLock() != nullptr;

extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
    countLock();
    return libcMutexLock()(m);
}
#endif
