#include "synth/simd/lane_targets.h"
#include <atomic>
#include <iterator>
#include <hwy/highway.h>
#if HWY_ARCH_X86
#include <cpuid.h>
#endif

// The dispatch is our own rather than Highway's run-time library, so the
// core needs only Highway's headers: each slot of WB_LANE_KERNELS is listed,
// best first, with whether this build compiled it and the check that the
// processor runs it (the instruction sets Highway compiles that target for).
namespace {

struct LaneTarget {
    const char* name;
    bool compiled;
    bool (*runs)();
};

[[maybe_unused]] bool always() { return true; }
[[maybe_unused]] bool never() { return false; }
#if HWY_ARCH_X86
bool hasF16c() {
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_F16C);
}
bool runsSsse3() { return __builtin_cpu_supports("ssse3"); }
bool runsSse4() {
    return runsSsse3() && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("sse4.2") &&
           __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes");
}
bool runsAvx2() {
    return runsSse4() && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("fma") && hasF16c();
}
bool runsAvx3() {
    return runsAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
}
#else
bool runsSsse3() { return false; }
bool runsSse4() { return false; }
bool runsAvx2() { return false; }
bool runsAvx3() { return false; }
#endif

constexpr bool compiled(int64_t target) { return (HWY_TARGETS & target) != 0; }

const LaneTarget slots[] = {
    {"AVX3", compiled(HWY_AVX3), runsAvx3},
    {"AVX2", compiled(HWY_AVX2), runsAvx2},
    {"SSE4", compiled(HWY_SSE4), runsSse4},
    {"SSSE3", compiled(HWY_SSSE3), runsSsse3},
    {"WASM", compiled(HWY_WASM), always},
    {compiled(HWY_EMU128) ? "EMU128" : "SCALAR", true, always},
};

// The slots this machine runs, best first; read-only once made (before the
// first render: nothing is allocated).
struct UsableTargets {
    int32_t slot[std::size(slots)] = {};
    int32_t count = 0;
};

const UsableTargets& usableTargets() {
    static const UsableTargets usable = [] {
        UsableTargets found;
        for (int32_t s = 0; s < static_cast<int32_t>(std::size(slots)); ++s)
            if (slots[s].compiled && slots[s].runs()) found.slot[found.count++] = s;
        return found;
    }();
    return usable;
}

// The chosen target's slot, -1 until the first kernel or choice: every
// kernel call reads it, so it is kept as the slot itself.
std::atomic<int32_t> chosenSlot{-1};

}  // namespace

int32_t laneTargetCount() { return usableTargets().count; }

const char* laneTargetName(int32_t index) { return slots[usableTargets().slot[index]].name; }

void laneTargetUse(int32_t index) { chosenSlot.store(usableTargets().slot[index < 0 ? 0 : index]); }

int32_t laneTargetSlot() {
    const int32_t slot = chosenSlot.load(std::memory_order_relaxed);
    if (slot >= 0) return slot;
    laneTargetUse(0);
    return chosenSlot.load(std::memory_order_relaxed);
}
