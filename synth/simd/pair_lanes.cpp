// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
//
// A pair (left, right) moves as one 64-bit lane. A square of W buffers by W
// samples (W the 64-bit lanes of a vector) is W loads, a transpose and W
// stores; the buffers and samples left over go pair by pair.
#include "synth/simd/pair_lanes.h"
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/pair_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DP = hn::ScalableTag<uint64_t>;
constexpr size_t pairWidth = hn::MaxLanes(DP());

void copyPair(float* to, const float* from) { std::memcpy(to, from, 2 * sizeof(float)); }

#if HWY_TARGET != HWY_SCALAR
// Transposes the square in place: each stage splits every two vectors into
// their even and odd lanes, which turns the index (vector, lane) one bit to
// the right; log2 W stages swap vector and lane.
HWY_INLINE void transpose(hn::Vec<DP> (&v)[pairWidth]) {
    const DP d;
    for (size_t stage = 1; stage < pairWidth; stage *= 2) {
        hn::Vec<DP> next[pairWidth];
        for (size_t i = 0; i < pairWidth / 2; ++i) {
            next[i] = hn::ConcatEven(d, v[2 * i + 1], v[2 * i]);
            next[pairWidth / 2 + i] = hn::ConcatOdd(d, v[2 * i + 1], v[2 * i]);
        }
        for (size_t i = 0; i < pairWidth; ++i) v[i] = next[i];
    }
}

// A square of pairs: the pairWidth pairs at each of `from` become the
// pairWidth pairs at each of `to`, transposed.
HWY_INLINE void moveSquare(const float* const* from, float* const* to) {
    const DP d;
    hn::Vec<DP> v[pairWidth];
    for (size_t j = 0; j < pairWidth; ++j) v[j] = hn::LoadU(d, reinterpret_cast<const uint64_t*>(from[j]));
    transpose(v);
    for (size_t j = 0; j < pairWidth; ++j) hn::StoreU(v[j], d, reinterpret_cast<uint64_t*>(to[j]));
}
#endif

// Buffer pairs into rows (toRows) or back, a block of m samples from start.
template <bool toRows, class Rows, class Buffer>
void movePairs(Rows* rows, int32_t lanes, Buffer* const* buffers, int32_t count, int32_t start, int32_t m) {
    const auto rowPair = [&](int32_t k, int32_t i) { return rows + static_cast<size_t>(i) * lanes + 2 * k; };
    const auto bufferPair = [&](int32_t k, int32_t i) { return buffers[k] + 2 * (start + i); };
    const auto one = [&](int32_t k, int32_t i) {
        if constexpr (toRows) copyPair(rowPair(k, i), bufferPair(k, i));
        else copyPair(bufferPair(k, i), rowPair(k, i));
    };
    int32_t k = 0;
#if HWY_TARGET != HWY_SCALAR
    const int32_t w = static_cast<int32_t>(pairWidth);
    for (; k + w <= count; k += w) {
        int32_t i = 0;
        for (; i + w <= m; i += w) {
            const float* from[pairWidth];
            float* to[pairWidth];
            for (int32_t j = 0; j < w; ++j) {
                if constexpr (toRows) from[j] = bufferPair(k + j, i), to[j] = rowPair(k, i + j);
                else from[j] = rowPair(k, i + j), to[j] = bufferPair(k + j, i);
            }
            moveSquare(from, to);
        }
        for (int32_t b = k; b < k + w; ++b)
            for (int32_t s = i; s < m; ++s) one(b, s);
    }
#endif
    for (; k < count; ++k)
        for (int32_t i = 0; i < m; ++i) one(k, i);
}

void PairsToLanesKernel(float* rows, int32_t lanes, const float* const* buffers, int32_t count, int32_t start,
                        int32_t m) {
    movePairs<true>(rows, lanes, buffers, count, start, m);
}

void LanesToPairsKernel(const float* rows, int32_t lanes, float* const* buffers, int32_t count, int32_t start,
                        int32_t m) {
    movePairs<false>(rows, lanes, buffers, count, start, m);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(PairsToLanesKernel)
WB_LANE_KERNEL_TABLE(LanesToPairsKernel)

void pairsToLanes(float* rows, int32_t lanes, const float* const* buffers, int32_t count, int32_t start,
                  int32_t m) {
    wembrastel::PairsToLanesKernelTargets[laneTargetSlot()](rows, lanes, buffers, count, start, m);
}

void lanesToPairs(const float* rows, int32_t lanes, float* const* buffers, int32_t count, int32_t start,
                  int32_t m) {
    wembrastel::LanesToPairsKernelTargets[laneTargetSlot()](rows, lanes, buffers, count, start, m);
}
#endif
