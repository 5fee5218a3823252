// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/mix_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/mix_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void MixLanesKernel(MixLanes& batch, const float* samples, float* left, float* right, int32_t n) {
    const hn::ScalableTag<float> d;
    const size_t lanes = static_cast<size_t>(batch.lanes);
    const size_t stride = static_cast<size_t>(batch.rowStride);
    for (size_t at = 0; at < lanes; at += hn::Lanes(d)) {
        auto amp = hn::Load(d, batch.amp + at);
        const auto step = hn::Load(d, batch.step + at);
        const auto gainLeft = hn::Load(d, batch.gainLeft + at);
        const auto gainRight = hn::Load(d, batch.gainRight + at);
        for (size_t k = 0; k < static_cast<size_t>(n); ++k) {
            const auto s = hn::Mul(hn::LoadU(d, samples + k * stride + at), amp);
            amp = hn::Add(amp, step);
            hn::Store(hn::Mul(s, gainLeft), d, left + k * lanes + at);
            hn::Store(hn::Mul(s, gainRight), d, right + k * lanes + at);
        }
        hn::Store(amp, d, batch.amp + at);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(MixLanesKernel)

void mixLanesProcess(MixLanes& batch, const float* samples, float* left, float* right, int32_t n) {
    wembrastel::MixLanesKernelTargets[laneTargetSlot()](batch, samples, left, right, n);
}
#endif
