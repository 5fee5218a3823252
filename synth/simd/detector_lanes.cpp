// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/detector_lanes.h"
#include "synth/fx/compressor.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/detector_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void DetectorLanesKernel(DetectorLanes& batch, const float* inputs, float* slots, float* levels, int32_t m) {
    const hn::ScalableTag<float> d;
    const hn::RebindToSigned<decltype(d)> di;
    const size_t lanes = static_cast<size_t>(batch.lanes);
    const auto zero = hn::Zero(d);
    for (size_t at = 0; at < lanes; at += hn::Lanes(d)) {
        const auto rms = hn::RebindMask(d, hn::Ne(hn::Load(di, batch.rms + at), hn::Zero(di)));
        const bool anyRms = !hn::AllFalse(d, rms);
        const bool anyPeak = !hn::AllTrue(d, rms);
        const auto inGain = hn::Load(d, batch.inGain + at);
        auto state = hn::Load(d, batch.state + at);
        auto failed = hn::Zero(d);  // all bits set in a lane once a sum failed
        for (size_t i = 0; i < static_cast<size_t>(m); ++i) {
            const size_t row = i * lanes + at;
            const auto x = hn::Load(d, inputs + row);
            auto level = zero;
            auto next = state;
            if (anyPeak) {
                auto peak = hn::Mul(state, hn::Set(d, compressorPeakDecay));
                const auto a = hn::Abs(x);
                peak = hn::IfThenElse(hn::Gt(a, peak), a, peak);
                next = peak;
                level = hn::Mul(peak, inGain);
            }
            if (anyRms) {
                const auto square = hn::Mul(x, x);
                const auto sum = hn::Add(hn::Sub(state, hn::Load(d, slots + row)), square);
                hn::Store(square, d, slots + row);
                const auto bad = hn::And(rms, hn::Not(hn::Ge(sum, zero)));
                failed = hn::Or(failed, hn::VecFromMask(d, bad));
                const auto root = hn::Sqrt(hn::Abs(sum));
                const auto rmsLevel = hn::Mul(hn::Mul(root, hn::Set(d, compressorRmsWeight)), inGain);
                next = hn::IfThenElse(rms, sum, next);
                level = hn::IfThenElse(rms, rmsLevel, level);
            }
            state = next;
            hn::StoreU(level, d, levels + row);
        }
        hn::Store(state, d, batch.state + at);
        const auto wasFailed = hn::Load(di, batch.failed + at);
        const auto nowFailed = hn::IfThenElseZero(hn::RebindMask(di, hn::MaskFromVec(failed)), hn::Set(di, 1));
        hn::Store(hn::Or(wasFailed, nowFailed), di, batch.failed + at);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(DetectorLanesKernel)

void detectorLanesProcess(DetectorLanes& batch, const float* inputs, float* slots, float* levels, int32_t m) {
    wembrastel::DetectorLanesKernelTargets[laneTargetSlot()](batch, inputs, slots, levels, m);
}
#endif
