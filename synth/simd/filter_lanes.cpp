// Compiled once per SIMD target; the best one the machine supports is
// chosen at run time.
#include "synth/simd/filter_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/filter_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Up to four vectors of filters per pass through the samples: their
// recursions are independent, so each hides part of the others' latency.
constexpr size_t vectorsPerPass = 4;

void FilterLanesKernel(FilterLanes& batch, float* samples, int32_t n) {
    const hn::ScalableTag<float> d;
    const hn::RebindToSigned<decltype(d)> di;
    using V = hn::Vec<decltype(d)>;
    using M = hn::Mask<decltype(d)>;
    const size_t lanes = static_cast<size_t>(batch.lanes);
    const size_t stride = static_cast<size_t>(batch.rowStride);
    const size_t width = hn::Lanes(d);
    for (size_t first = 0; first < lanes; first += width * vectorsPerPass) {
        V f[vectorsPerPass], q[vectorsPerPass], low[vectorsPerPass], band[vectorsPerPass];
        M isLow[vectorsPerPass], isBand[vectorsPerPass], isHigh[vectorsPerPass],
            isNotch[vectorsPerPass], isBypass[vectorsPerPass];
        size_t count = 0;
        bool anyFilter = false;
        for (size_t g = 0; g < vectorsPerPass && first + g * width < lanes; ++g, ++count) {
            const size_t at = first + g * width;
            f[g] = hn::Load(d, batch.freq + at);
            q[g] = hn::Load(d, batch.damp + at);
            low[g] = hn::Load(d, batch.low + at);
            band[g] = hn::Load(d, batch.band + at);
            const auto mode = hn::Load(di, batch.mode + at);
            isLow[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 1)));
            isBand[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 2)));
            isHigh[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 3)));
            isNotch[g] = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, 4)));
            isBypass[g] = hn::RebindMask(d, hn::Eq(mode, hn::Zero(di)));
            anyFilter = anyFilter || !hn::AllTrue(d, isBypass[g]);
        }
        if (!anyFilter) continue;
        for (int32_t k = 0; k < n; ++k) {
            float* row = samples + static_cast<size_t>(k) * stride + first;
            for (size_t g = 0; g < count; ++g) {
                const V x = hn::LoadU(d, row + g * width);
                // filterProcess's two steps, operation for operation.
                low[g] = hn::Add(low[g], hn::Mul(f[g], band[g]));
                V high = hn::Sub(hn::Sub(x, hn::Mul(q[g], band[g])), low[g]);
                band[g] = hn::Add(band[g], hn::Mul(f[g], high));
                low[g] = hn::Add(low[g], hn::Mul(f[g], band[g]));
                high = hn::Sub(hn::Sub(x, hn::Mul(q[g], band[g])), low[g]);
                band[g] = hn::Add(band[g], hn::Mul(f[g], high));
                const V peak = hn::Add(hn::Add(high, band[g]), low[g]);
                const V notch = hn::Add(high, low[g]);
                const V y = hn::IfThenElse(isBypass[g], x,
                            hn::IfThenElse(isLow[g], low[g],
                            hn::IfThenElse(isBand[g], band[g],
                            hn::IfThenElse(isHigh[g], high,
                            hn::IfThenElse(isNotch[g], notch, peak)))));
                hn::StoreU(y, d, row + g * width);
            }
        }
        for (size_t g = 0; g < count; ++g) {
            hn::Store(low[g], d, batch.low + first + g * width);
            hn::Store(band[g], d, batch.band + first + g * width);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(FilterLanesKernel)

void filterLanesProcess(FilterLanes& batch, float* samples, int32_t n) {
    wembrastel::FilterLanesKernelTargets[laneTargetSlot()](batch, samples, n);
}
#endif
