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

// Rows of `vectors` whole vectors: each output vector is put together from
// the input vectors its lanes come from, a lookup within each, selected lane
// by lane. `from` lists every lane's source.
template <int32_t vectors>
void moveVectors(float* rows, const int32_t* from, int32_t n) {
    const D d;
    const DI di;
    constexpr size_t lanes = vectors * hn::MaxLanes(d);
    const size_t width = hn::Lanes(d);
    HWY_ALIGN int32_t within[lanes];
    HWY_ALIGN int32_t vectorOf[lanes];
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

void MoveLanesKernel(float* rows, int32_t lanes, const int32_t* source, int32_t count, int32_t n) {
    int32_t from[moveLaneCapacity];
    for (int32_t j = 0; j < lanes; ++j) from[j] = j < count ? source[j] : j;
    const int32_t vectors = lanes / static_cast<int32_t>(hn::Lanes(D()));
    if (hn::MaxLanes(D()) >= 4 && vectors == 2) return moveVectors<2>(rows, from, n);
    if (hn::MaxLanes(D()) >= 4 && vectors == 4) return moveVectors<4>(rows, from, n);
    // Narrow vectors or wide rows: lane by lane.
    for (int32_t i = 0; i < n; ++i) {
        float* row = rows + static_cast<size_t>(i) * static_cast<size_t>(lanes);
        float before[moveLaneCapacity];
        for (int32_t j = 0; j < lanes; ++j) before[j] = row[j];
        for (int32_t j = 0; j < lanes; ++j) row[j] = before[from[j]];
    }
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
