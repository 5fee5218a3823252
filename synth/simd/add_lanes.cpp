// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
// Element by element, each result is what the plain loop gives.
#include "synth/simd/add_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/add_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<float>;

// vector(d, i) at every whole vector's first element, then scalar(i) for
// each element after them.
template <class Vector, class Scalar>
void acrossCount(int32_t count, Vector vector, Scalar scalar) {
    const D d;
    const size_t n = static_cast<size_t>(count);
    size_t i = 0;
    for (; i + hn::Lanes(d) <= n; i += hn::Lanes(d)) vector(d, i);
    for (; i < n; ++i) scalar(i);
}

void AddLanesKernel(float* to, const float* from, int32_t count) {
    acrossCount(
        count, [&](D d, size_t i) { hn::StoreU(hn::Add(hn::LoadU(d, to + i), hn::LoadU(d, from + i)), d, to + i); },
        [&](size_t i) { to[i] += from[i]; });
}

void AddScaledLanesKernel(float* to, const float* from, float gain, int32_t count) {
    const auto g = hn::Set(D(), gain);
    acrossCount(
        count,
        [&](D d, size_t i) { hn::StoreU(hn::Add(hn::LoadU(d, to + i), hn::Mul(hn::LoadU(d, from + i), g)), d, to + i); },
        [&](size_t i) { to[i] += from[i] * gain; });
}

void AddSendLanesKernel(float* bus, const float* stereo, float gain, int32_t count) {
    const auto g = hn::Set(D(), gain);
    acrossCount(
        count,
        [&](D d, size_t i) {
            hn::Vec<D> left, right;
            hn::LoadInterleaved2(d, stereo + 2 * i, left, right);
            hn::StoreU(hn::Add(hn::LoadU(d, bus + i), hn::Mul(hn::Add(left, right), g)), d, bus + i);
        },
        [&](size_t i) { bus[i] += (stereo[2 * i] + stereo[2 * i + 1]) * gain; });
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(AddLanesKernel)
WB_LANE_KERNEL_TABLE(AddScaledLanesKernel)
WB_LANE_KERNEL_TABLE(AddSendLanesKernel)

void addLanesProcess(float* to, const float* from, int32_t count) {
    wembrastel::AddLanesKernelTargets[laneTargetSlot()](to, from, count);
}

void addScaledLanesProcess(float* to, const float* from, float gain, int32_t count) {
    wembrastel::AddScaledLanesKernelTargets[laneTargetSlot()](to, from, gain, count);
}

void addSendLanesProcess(float* bus, const float* stereo, float gain, int32_t n) {
    wembrastel::AddSendLanesKernelTargets[laneTargetSlot()](bus, stereo, gain, n);
}
#endif
