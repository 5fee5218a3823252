// Compiled once per SIMD target; compressorGainLanes runs the chosen one.
// The levels come in lane-major rows; the pairs are gathered lane-major a
// block at a time (pair_lanes.h).
#include "synth/simd/compressor_lanes.h"
#include "synth/simd/pair_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/compressor_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
namespace {

constexpr int32_t gainLanes = 2 * compressorLaneUnits;
constexpr int32_t gainBlock = 64;

// Settings and gains by lane; lanes past the units hold zeros.
struct GainLanes {
    alignas(64) float ratio[gainLanes], attack[gainLanes], release[gainLanes], outGain[gainLanes];
    alignas(64) float gain[gainLanes];
};

GainLanes gatherUnits(Compressor* const* units, int32_t count) {
    GainLanes l{};
    for (int32_t k = 0; k < count; ++k) {
        const Compressor& c = *units[k];
        for (int32_t side = 0; side < 2; ++side) {
            const int32_t lane = 2 * k + side;
            l.ratio[lane] = c.ratio, l.attack[lane] = c.attack, l.release[lane] = c.release;
            l.outGain[lane] = c.outGain;
        }
        l.gain[2 * k] = c.gainL, l.gain[2 * k + 1] = c.gainR;
    }
    return l;
}

// m samples of the block through every vector of lanes (their number known
// when compiling: the gains stay in registers).
template <int32_t lanes>
void gainBlockLanes(GainLanes& l, const float* levelRows, float* pairRows, int32_t m) {
    const hn::ScalableTag<float> d;
    using V = hn::Vec<decltype(d)>;
    constexpr int32_t w = static_cast<int32_t>(hn::MaxLanes(decltype(d)()));
    constexpr int32_t groups = lanes / w;
    const V one = hn::Set(d, 1.0f);
    V g[groups];
    for (int32_t k = 0; k < groups; ++k) g[k] = hn::Load(d, l.gain + k * w);
    for (int32_t i = 0; i < m; ++i) {
        for (int32_t k = 0; k < groups; ++k) {
            const int32_t at = i * lanes + k * w;
            const V level = hn::LoadU(d, levelRows + at);
            // nextGain: level < 1 ? 1 : 1 / (1 + (level - 1) ratio).
            const V ratio = hn::Load(d, l.ratio + k * w);
            const V reduced = hn::Div(one, hn::Add(one, hn::Mul(hn::Sub(level, one), ratio)));
            const V target = hn::IfThenElse(hn::Lt(level, one), one, reduced);
            const V coefficient = hn::IfThenElse(hn::Lt(target, g[k]), hn::Load(d, l.attack + k * w),
                                                 hn::Load(d, l.release + k * w));
            g[k] = hn::Add(g[k], hn::Mul(hn::Sub(target, g[k]), coefficient));
            const V delayed = hn::Load(d, pairRows + at);
            hn::Store(hn::Mul(hn::Mul(delayed, hn::Load(d, l.outGain + k * w)), g[k]), d, pairRows + at);
        }
    }
    for (int32_t k = 0; k < groups; ++k) hn::Store(g[k], d, l.gain + k * w);
}

}  // namespace

void CompressorGainLanesKernel(Compressor* const* units, const float* levelRows, float* const* buffers,
                               int32_t count, int32_t n) {
    GainLanes l = gatherUnits(units, count);
    const int32_t lanes = (2 * count + 15) / 16 * 16;  // every target's vectors fill it exactly
    alignas(64) float pairRows[gainBlock * gainLanes] = {};
    for (int32_t start = 0; start < n; start += gainBlock) {
        const int32_t m = n - start < gainBlock ? n - start : gainBlock;
        pairsToLanes(pairRows, lanes, buffers, count, start, m);
        const float* blockLevels = levelRows + start * lanes;
        if (lanes == 16) gainBlockLanes<16>(l, blockLevels, pairRows, m);
        else gainBlockLanes<gainLanes>(l, blockLevels, pairRows, m);
        lanesToPairs(pairRows, lanes, buffers, count, start, m);
    }
    for (int32_t k = 0; k < count; ++k) units[k]->gainL = l.gain[2 * k], units[k]->gainR = l.gain[2 * k + 1];
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(CompressorGainLanesKernel)

void compressorGainLanes(Compressor* const* units, const float* levelRows, float* const* buffers,
                         int32_t count, int32_t n) {
    wembrastel::CompressorGainLanesKernelTargets[laneTargetSlot()](units, levelRows, buffers, count, n);
}
#endif
