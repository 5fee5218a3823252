// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/move_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/move_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<D>;

// Lane by lane, through a copy of each row.
void moveEachLane(float* rows, size_t lanes, const int32_t* from, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        float* row = rows + static_cast<size_t>(i) * lanes;
        float before[moveLaneCapacity];
        for (size_t j = 0; j < lanes; ++j) before[j] = row[j];
        for (size_t j = 0; j < lanes; ++j) row[j] = before[from[j]];
    }
}

#if !HWY_IS_DEBUG_BUILD
// Rows of `vectors` whole vectors: each output vector is put together from
// the input vectors its lanes come from, a lookup within each, selected lane
// by lane. (Highway's debug builds check lookup indices through its library,
// which the core does not link; they move lane by lane.)
template <int32_t vectors>
void moveVectors(float* rows, const int32_t* from, int32_t n) {
    const D d;
    const DI di;
    const size_t width = hn::Lanes(d);
    const size_t lanes = vectors * width;
    HWY_ALIGN int32_t within[moveLaneCapacity];
    HWY_ALIGN int32_t vectorOf[moveLaneCapacity];
    for (size_t j = 0; j < lanes; ++j) {
        within[j] = from[j] % static_cast<int32_t>(width);
        vectorOf[j] = from[j] / static_cast<int32_t>(width);
    }
    hn::Vec<D> in[vectors];
    for (int32_t i = 0; i < n; ++i) {
        float* row = rows + static_cast<size_t>(i) * lanes;
        for (int32_t v = 0; v < vectors; ++v) in[v] = hn::LoadU(d, row + static_cast<size_t>(v) * width);
        for (int32_t o = 0; o < vectors; ++o) {
            const auto index = hn::IndicesFromVec(d, hn::Load(di, within + static_cast<size_t>(o) * width));
            const auto vector = hn::Load(di, vectorOf + static_cast<size_t>(o) * width);
            auto out = hn::TableLookupLanes(in[0], index);
            for (int32_t v = 1; v < vectors; ++v)
                out = hn::IfThenElse(hn::RebindMask(d, hn::Eq(vector, hn::Set(di, v))),
                                     hn::TableLookupLanes(in[v], index), out);
            hn::StoreU(out, d, row + static_cast<size_t>(o) * width);
        }
    }
}
#endif

void MoveLanesKernel(float* rows, int32_t lanes, const int32_t* source, int32_t count, int32_t n) {
    int32_t from[moveLaneCapacity];
    for (int32_t j = 0; j < lanes; ++j) from[j] = j < count ? source[j] : j;
#if !HWY_IS_DEBUG_BUILD
    const int32_t vectors = lanes / static_cast<int32_t>(hn::Lanes(D()));
    if (hn::MaxLanes(D()) >= 4 && vectors == 2) return moveVectors<2>(rows, from, n);
    if (hn::MaxLanes(D()) >= 4 && vectors == 4) return moveVectors<4>(rows, from, n);
#endif
    moveEachLane(rows, static_cast<size_t>(lanes), from, n);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(MoveLanesKernel)

void moveLanesProcess(float* rows, int32_t lanes, const int32_t* source, int32_t count, int32_t n) {
    wembrastel::MoveLanesKernelTargets[laneTargetSlot()](rows, lanes, source, count, n);
}
#endif
