#pragma once
// The SIMD targets of the lane kernels (synth/simd/*_lanes.cpp): every kernel
// file is compiled once per target, and one target, chosen at run time, serves
// them all. Every target gives the same samples.
#include <cstdint>

// The SIMD targets this build has and this machine runs, best first (at
// least one: a portable target is always there), and their names.
int32_t laneTargetCount();
const char* laneTargetName(int32_t index);
// Tests and benchmarks: later kernels run on target index, 0 being the best.
void laneTargetUse(int32_t index);

// The chosen target's slot in the kernel tables WB_LANE_KERNELS makes.
int32_t laneTargetSlot();

// Inside namespace wembrastel, after <hwy/highway.h> in a kernel file's
// HWY_ONCE part: NAME's instance for every slot (nullptr where this build has
// no such target), in the order lane_targets.cpp lists the slots.
#define WB_LANE_KERNELS(NAME)                                                   \
    {                                                                           \
        HWY_CHOOSE_AVX3(NAME), HWY_CHOOSE_AVX2(NAME), HWY_CHOOSE_SSE4(NAME),    \
            HWY_CHOOSE_SSSE3(NAME), HWY_CHOOSE_WASM(NAME), HWY_CHOOSE_FALLBACK(NAME) \
    }

// In a kernel file's HWY_ONCE part, after <hwy/highway.h>: the table
// wembrastel::NAME##Targets of WB_LANE_KERNELS(NAME), to be indexed by
// laneTargetSlot().
#define WB_LANE_KERNEL_TABLE(NAME)                                                          \
    namespace wembrastel {                                                                  \
    static const decltype(&HWY_STATIC_DISPATCH(NAME)) NAME##Targets[] = WB_LANE_KERNELS(NAME); \
    }
