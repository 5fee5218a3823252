// Included by the lane kernel files after <hwy/highway.h>, once per SIMD
// target (Highway's per-target include guard).
#if defined(WB_SIMD_PACKED_ROWS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WB_SIMD_PACKED_ROWS_INL_H_
#undef WB_SIMD_PACKED_ROWS_INL_H_
#else
#define WB_SIMD_PACKED_ROWS_INL_H_
#endif

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {

// Lanes 0..3 of the rows at row, row + stride, ... side by side in one
// vector, the first lowest (stride 0: the same four lanes in every place):
// a few voices' lanes of several samples at once.
template <class Tag>
HWY_INLINE hwy::HWY_NAMESPACE::Vec<Tag> packedLoad(Tag d, const hwy::HWY_NAMESPACE::TFromD<Tag>* row,
                                                   [[maybe_unused]] size_t stride) {
    namespace hn = hwy::HWY_NAMESPACE;
#if HWY_TARGET != HWY_SCALAR
    if constexpr (hn::MaxLanes(Tag()) > 4) {
        const hn::Half<Tag> half;
        const size_t rows = hn::MaxLanes(Tag()) / 8;
        return hn::Combine(d, packedLoad(half, row + rows * stride, stride), packedLoad(half, row, stride));
    }
#endif
    return hn::LoadU(d, row);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
