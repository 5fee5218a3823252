// Compiled once per SIMD target; bassBoostLanes runs the chosen one.
//
// A block of samples is gathered lane-major (sample i of side s of unit k at
// rows[i * lanes + 2 k + s]), every vector of lanes steps through the block
// together (each recursion hides the others' latency), and the block goes
// back into the buffers.
#include "synth/simd/bass_boost_lanes.h"
#include "synth/simd/pair_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/bass_boost_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
namespace {

constexpr int32_t boostLanes = 2 * bassBoostLaneUnits;
constexpr int32_t boostBlock = 64;

// Coefficients and states by lane; lanes past the units hold zeros.
struct BoostLanes {
    alignas(64) float b0[boostLanes], b1[boostLanes], b2[boostLanes], a1[boostLanes], a2[boostLanes];
    alignas(64) float x1[boostLanes], x2[boostLanes], y1[boostLanes], y2[boostLanes];
};

BoostLanes gatherUnits(BassBoost* const* units, int32_t count) {
    BoostLanes l{};
    for (int32_t k = 0; k < count; ++k) {
        const BassBoost& b = *units[k];
        for (int32_t side = 0; side < 2; ++side) {
            const int32_t lane = 2 * k + side;
            l.b0[lane] = b.b0, l.b1[lane] = b.b1, l.b2[lane] = b.b2;
            l.a1[lane] = b.a1, l.a2[lane] = b.a2;
        }
        l.x1[2 * k] = b.x1L, l.x1[2 * k + 1] = b.x1R;
        l.x2[2 * k] = b.x2L, l.x2[2 * k + 1] = b.x2R;
        l.y1[2 * k] = b.y1L, l.y1[2 * k + 1] = b.y1R;
        l.y2[2 * k] = b.y2L, l.y2[2 * k + 1] = b.y2R;
    }
    return l;
}

void storeUnits(const BoostLanes& l, BassBoost* const* units, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        BassBoost& b = *units[k];
        b.x1L = l.x1[2 * k], b.x1R = l.x1[2 * k + 1];
        b.x2L = l.x2[2 * k], b.x2R = l.x2[2 * k + 1];
        b.y1L = l.y1[2 * k], b.y1R = l.y1[2 * k + 1];
        b.y2L = l.y2[2 * k], b.y2R = l.y2[2 * k + 1];
    }
}

// m samples of the block in rows through every vector of lanes; the
// number of vectors is known when compiling, so their states stay in
// registers where the target has enough.
template <int32_t lanes>
void boostBlockLanes(BoostLanes& l, float* rows, int32_t m) {
    const hn::ScalableTag<float> d;
    using V = hn::Vec<decltype(d)>;
    constexpr int32_t w = static_cast<int32_t>(hn::MaxLanes(decltype(d)()));
    constexpr int32_t groups = lanes / w;
    V b0[groups], b1[groups], b2[groups], a1[groups], a2[groups];
    V x1[groups], x2[groups], y1[groups], y2[groups];
    for (int32_t g = 0; g < groups; ++g) {
        b0[g] = hn::Load(d, l.b0 + g * w), b1[g] = hn::Load(d, l.b1 + g * w), b2[g] = hn::Load(d, l.b2 + g * w);
        a1[g] = hn::Load(d, l.a1 + g * w), a2[g] = hn::Load(d, l.a2 + g * w);
        x1[g] = hn::Load(d, l.x1 + g * w), x2[g] = hn::Load(d, l.x2 + g * w);
        y1[g] = hn::Load(d, l.y1 + g * w), y2[g] = hn::Load(d, l.y2 + g * w);
    }
    for (int32_t i = 0; i < m; ++i) {
        for (int32_t g = 0; g < groups; ++g) {
            float* row = rows + i * lanes + g * w;
            const V x = hn::Load(d, row);
            // b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, left to right.
            const V y = hn::Sub(hn::Sub(hn::Add(hn::Add(hn::Mul(b0[g], x), hn::Mul(b1[g], x1[g])),
                                                hn::Mul(b2[g], x2[g])),
                                        hn::Mul(a1[g], y1[g])),
                                hn::Mul(a2[g], y2[g]));
            x2[g] = x1[g], x1[g] = x, y2[g] = y1[g], y1[g] = y;
            hn::Store(y, d, row);
        }
    }
    for (int32_t g = 0; g < groups; ++g) {
        hn::Store(x1[g], d, l.x1 + g * w), hn::Store(x2[g], d, l.x2 + g * w);
        hn::Store(y1[g], d, l.y1 + g * w), hn::Store(y2[g], d, l.y2 + g * w);
    }
}

}  // namespace

void BassBoostLanesKernel(BassBoost* const* units, float* const* buffers, int32_t count, int32_t n) {
    BoostLanes l = gatherUnits(units, count);
    // A multiple of 16 lanes: every target's vectors fill it exactly.
    const int32_t lanes = (2 * count + 15) / 16 * 16;
    alignas(64) float rows[boostBlock * boostLanes] = {};  // the lanes past the units stay 0
    for (int32_t start = 0; start < n; start += boostBlock) {
        const int32_t m = n - start < boostBlock ? n - start : boostBlock;
        pairsToLanes(rows, lanes, buffers, count, start, m);
        if (lanes == 16) boostBlockLanes<16>(l, rows, m);
        else boostBlockLanes<boostLanes>(l, rows, m);
        lanesToPairs(rows, lanes, buffers, count, start, m);
    }
    storeUnits(l, units, count);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(BassBoostLanesKernel)

void bassBoostLanes(BassBoost* const* units, float* const* buffers, int32_t count, int32_t n) {
    wembrastel::BassBoostLanesKernelTargets[laneTargetSlot()](units, buffers, count, n);
}
#endif
