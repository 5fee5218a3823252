#pragma once
// The dispatch every SIMD kernel in synth/simd/ shares: filter_lanes.cpp
// keeps the list of targets this machine runs and the one chosen (best, or
// a test's choice); a kernel file lists its per-target functions with
// WB_LANE_KERNELS and calls the chosen one's.
#include <cstddef>
#include <cstdint>

// Highway's bit (HWY_AVX3, HWY_SSE4, ...) of the target kernels run on now.
int64_t laneTargetChosen();

template <typename Kernel>
struct LaneKernel {
    int64_t target;
    Kernel kernel;
};

// The table's kernel for the chosen target (every table lists every target
// compiled, so the last entry is never needed but keeps the answer defined).
template <typename Kernel, size_t count>
Kernel laneKernelChosen(const LaneKernel<Kernel> (&table)[count]) {
    const int64_t target = laneTargetChosen();
    for (const LaneKernel<Kernel>& entry : table)
        if (entry.target == target) return entry.kernel;
    return table[count - 1].kernel;
}

// For a kernel file's HWY_ONCE part: the table entries of function NAME in
// namespace wembrastel, one per target compiled.
#if HWY_TARGETS & HWY_AVX3
#define WB_LANE_KERNEL_AVX3(NAME) {HWY_AVX3, &wembrastel::N_AVX3::NAME},
#else
#define WB_LANE_KERNEL_AVX3(NAME)
#endif
#if HWY_TARGETS & HWY_AVX2
#define WB_LANE_KERNEL_AVX2(NAME) {HWY_AVX2, &wembrastel::N_AVX2::NAME},
#else
#define WB_LANE_KERNEL_AVX2(NAME)
#endif
#if HWY_TARGETS & HWY_SSE4
#define WB_LANE_KERNEL_SSE4(NAME) {HWY_SSE4, &wembrastel::N_SSE4::NAME},
#else
#define WB_LANE_KERNEL_SSE4(NAME)
#endif
#if HWY_TARGETS & HWY_SSSE3
#define WB_LANE_KERNEL_SSSE3(NAME) {HWY_SSSE3, &wembrastel::N_SSSE3::NAME},
#else
#define WB_LANE_KERNEL_SSSE3(NAME)
#endif
#if HWY_TARGETS & HWY_WASM
#define WB_LANE_KERNEL_WASM(NAME) {HWY_WASM, &wembrastel::N_WASM::NAME},
#else
#define WB_LANE_KERNEL_WASM(NAME)
#endif
#if HWY_TARGETS & HWY_EMU128
#define WB_LANE_KERNEL_EMU128(NAME) {HWY_EMU128, &wembrastel::N_EMU128::NAME},
#else
#define WB_LANE_KERNEL_EMU128(NAME)
#endif
#if HWY_TARGETS & HWY_SCALAR
#define WB_LANE_KERNEL_SCALAR(NAME) {HWY_SCALAR, &wembrastel::N_SCALAR::NAME},
#else
#define WB_LANE_KERNEL_SCALAR(NAME)
#endif
#define WB_LANE_KERNELS(NAME)                                                           \
    WB_LANE_KERNEL_AVX3(NAME) WB_LANE_KERNEL_AVX2(NAME) WB_LANE_KERNEL_SSE4(NAME)        \
    WB_LANE_KERNEL_SSSE3(NAME) WB_LANE_KERNEL_WASM(NAME) WB_LANE_KERNEL_EMU128(NAME)     \
    WB_LANE_KERNEL_SCALAR(NAME)
