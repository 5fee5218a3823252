// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/add_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/add_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void AddLanesKernel(float* to, const float* from, int32_t count) {
    const hn::ScalableTag<float> d;
    const size_t n = static_cast<size_t>(count);
    const size_t w = hn::Lanes(d);
    size_t i = 0;
    for (; i + w <= n; i += w) hn::StoreU(hn::Add(hn::LoadU(d, to + i), hn::LoadU(d, from + i)), d, to + i);
    for (; i < n; ++i) to[i] += from[i];
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(AddLanesKernel)

void addLanesProcess(float* to, const float* from, int32_t count) {
    wembrastel::AddLanesKernelTargets[laneTargetSlot()](to, from, count);
}
#endif
