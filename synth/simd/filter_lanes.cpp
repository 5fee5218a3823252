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
namespace {

using D = hn::ScalableTag<float>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// One vector of filters: settings, state and response.
struct LaneFilter {
    V f, q, low, band;
    M isLow, isBand, isHigh, isNotch, isBypass;
};

LaneFilter loadFilter(const FilterLanes& batch, size_t at) {
    const D d;
    const hn::RebindToSigned<D> di;
    const auto mode = hn::Load(di, batch.mode + at);
    const auto is = [&](int32_t m) { return hn::RebindMask(d, hn::Eq(mode, hn::Set(di, m))); };
    return {hn::Load(d, batch.freq + at), hn::Load(d, batch.damp + at), hn::Load(d, batch.low + at),
            hn::Load(d, batch.band + at), is(1), is(2), is(3), is(4), is(0)};
}

void storeFilter(const LaneFilter& filter, FilterLanes& batch, size_t at) {
    const D d;
    hn::Store(filter.low, d, batch.low + at);
    hn::Store(filter.band, d, batch.band + at);
}

// filterProcess's two steps for one sample, operation for operation.
HWY_INLINE V filterStep(LaneFilter& s, V x) {
    s.low = hn::Add(s.low, hn::Mul(s.f, s.band));
    V high = hn::Sub(hn::Sub(x, hn::Mul(s.q, s.band)), s.low);
    s.band = hn::Add(s.band, hn::Mul(s.f, high));
    s.low = hn::Add(s.low, hn::Mul(s.f, s.band));
    high = hn::Sub(hn::Sub(x, hn::Mul(s.q, s.band)), s.low);
    s.band = hn::Add(s.band, hn::Mul(s.f, high));
    const V peak = hn::Add(hn::Add(high, s.band), s.low);
    const V notch = hn::Add(high, s.low);
    return hn::IfThenElse(s.isBypass, x,
           hn::IfThenElse(s.isLow, s.low,
           hn::IfThenElse(s.isBand, s.band,
           hn::IfThenElse(s.isHigh, high,
           hn::IfThenElse(s.isNotch, notch, peak)))));
}

// Up to four vectors of filters per pass through the samples: their
// recursions are independent, so each hides part of the others' latency.
constexpr size_t vectorsPerPass = 4;

template <size_t count>
void filterPass(LaneFilter (&filters)[vectorsPerPass], float* samples, size_t stride, size_t first, int32_t n) {
    const D d;
    const size_t width = hn::Lanes(d);
    for (int32_t k = 0; k < n; ++k) {
        float* row = samples + static_cast<size_t>(k) * stride + first;
        for (size_t g = 0; g < count; ++g)
            hn::StoreU(filterStep(filters[g], hn::LoadU(d, row + g * width)), d, row + g * width);
    }
}

// Up to two vectors of voices per pass: four recursions at most.
constexpr size_t groupsPerPass = 2;

struct Pass {
    LaneFilter first[groupsPerPass], second[groupsPerPass];
    M isParallel[groupsPerPass];
    V gain1[groupsPerPass], gain2[groupsPerPass];
};

// The pass's samples; withSecond: some lane has a filter 2 or is routed in
// parallel.
template <size_t groups, bool withSecond>
void runPass(Pass& p, float* samples, size_t stride, size_t first, int32_t n) {
    const D d;
    const size_t width = hn::Lanes(d);
    for (int32_t k = 0; k < n; ++k) {
        float* row = samples + static_cast<size_t>(k) * stride + first;
        for (size_t g = 0; g < groups; ++g) {
            const V x = hn::LoadU(d, row + g * width);
            V y = filterStep(p.first[g], x);
            if constexpr (withSecond) {
                const M parallel = p.isParallel[g];
                const V y2 = filterStep(p.second[g], hn::IfThenElse(parallel, x, y));
                y = hn::IfThenElse(parallel, hn::Add(hn::Mul(y, p.gain1[g]), hn::Mul(y2, p.gain2[g])), y2);
            }
            hn::StoreU(y, d, row + g * width);
        }
    }
}

template <size_t groups>
void runPassFor(Pass& p, bool withSecond, float* samples, size_t stride, size_t first, int32_t n) {
    if (withSecond) runPass<groups, true>(p, samples, stride, first, n);
    else runPass<groups, false>(p, samples, stride, first, n);
}

bool anyFilter(const LaneFilter& filter) { return !hn::AllTrue(D(), filter.isBypass); }

}  // namespace

void FilterLanesKernel(FilterLanes& batch, float* samples, int32_t n) {
    const D d;
    const size_t lanes = static_cast<size_t>(batch.lanes);
    const size_t stride = static_cast<size_t>(batch.rowStride);
    const size_t width = hn::Lanes(d);
    for (size_t first = 0; first < lanes; first += width * vectorsPerPass) {
        LaneFilter filters[vectorsPerPass];
        size_t count = 0;
        bool any = false;
        for (; count < vectorsPerPass && first + count * width < lanes; ++count) {
            filters[count] = loadFilter(batch, first + count * width);
            any = any || anyFilter(filters[count]);
        }
        if (!any) continue;
        switch (count) {
            case 1: filterPass<1>(filters, samples, stride, first, n); break;
            case 2: filterPass<2>(filters, samples, stride, first, n); break;
            case 3: filterPass<3>(filters, samples, stride, first, n); break;
            default: filterPass<4>(filters, samples, stride, first, n); break;
        }
        for (size_t g = 0; g < count; ++g) storeFilter(filters[g], batch, first + g * width);
    }
}

void FilterSectionLanesKernel(FilterSectionLanes& s, float* samples, int32_t n) {
    const D d;
    const hn::RebindToSigned<D> di;
    const size_t lanes = static_cast<size_t>(s.lanes);
    const size_t width = hn::Lanes(d);
    for (size_t first = 0; first < lanes; first += width * groupsPerPass) {
        Pass p;
        size_t groups = 0;
        bool withFirst = false, withSecond = false;
        for (; groups < groupsPerPass && first + groups * width < lanes; ++groups) {
            const size_t at = first + groups * width;
            p.first[groups] = loadFilter(s.first, at);
            p.second[groups] = loadFilter(s.second, at);
            p.isParallel[groups] = hn::RebindMask(d, hn::Ne(hn::Load(di, s.parallel + at), hn::Zero(di)));
            p.gain1[groups] = hn::Load(d, s.gain1 + at);
            p.gain2[groups] = hn::Load(d, s.gain2 + at);
            withFirst = withFirst || anyFilter(p.first[groups]);
            withSecond = withSecond || anyFilter(p.second[groups]) || !hn::AllFalse(d, p.isParallel[groups]);
        }
        if (!withFirst && !withSecond) continue;
        if (groups == 2) runPassFor<2>(p, withSecond, samples, lanes, first, n);
        else runPassFor<1>(p, withSecond, samples, lanes, first, n);
        for (size_t g = 0; g < groups; ++g) {
            storeFilter(p.first[g], s.first, first + g * width);
            storeFilter(p.second[g], s.second, first + g * width);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(FilterLanesKernel)
WB_LANE_KERNEL_TABLE(FilterSectionLanesKernel)

void filterLanesProcess(FilterLanes& batch, float* samples, int32_t n) {
    wembrastel::FilterLanesKernelTargets[laneTargetSlot()](batch, samples, n);
}

void filterSectionLanesProcess(FilterSectionLanes& section, float* samples, int32_t n) {
    wembrastel::FilterSectionLanesKernelTargets[laneTargetSlot()](section, samples, n);
}
#endif
