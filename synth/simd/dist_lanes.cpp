// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/dist_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/dist_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<float>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// The distortion's modes (distortion.cpp).
constexpr int32_t overdriveMode = 1;
constexpr int32_t clipMode = 2;
constexpr int32_t crusherMode = 3;

// pi/2 - q in double, rounded once to single.
V halfPiMinus(V q) {
#if HWY_TARGET == HWY_SCALAR || !HWY_HAVE_FLOAT64
    // Without double lanes (the WebAssembly target has none): lane by lane.
    const D d;
    HWY_ALIGN float lanes[hn::MaxLanes(D())];
    hn::Store(q, d, lanes);
    for (size_t i = 0; i < hn::Lanes(d); ++i)
        lanes[i] = static_cast<float>(1.5707963267948966 - static_cast<double>(lanes[i]));
    return hn::Load(d, lanes);
#else
    const D d;
    const hn::Half<D> dh;
    const hn::Rebind<double, decltype(dh)> dd;
    const auto halfPi = hn::Set(dd, 1.5707963267948966);
    const auto lower = hn::DemoteTo(dh, hn::Sub(halfPi, hn::PromoteTo(dd, hn::LowerHalf(dh, q))));
    const auto upper = hn::DemoteTo(dh, hn::Sub(halfPi, hn::PromoteTo(dd, hn::UpperHalf(dh, q))));
    return hn::Combine(d, upper, lower);
#endif
}

// fastAtan: both rational forms are computed and one is chosen (a lane's
// unused form may overflow; exceptions are masked); the double step only
// when some lane needs it. NaN is not below 1, as in fastAtan's exponent test.
V atanLanes(V v) {
    const D d;
    const V a = hn::Abs(v);
    const V a2 = hn::Mul(a, a);
    const V a4 = hn::Mul(a2, a2);
    const V one = hn::Set(d, 1.0f);
    const M small = hn::Lt(a, one);
    const V smallR = hn::Div(hn::Mul(a, hn::Add(one, hn::Mul(hn::Set(d, 0.43157974f), a2))),
                             hn::Add(hn::Add(one, hn::Mul(hn::Set(d, 0.76443945f), a2)),
                                     hn::Mul(hn::Set(d, 0.05831938f), a4)));
    V r = smallR;
    if (!hn::AllTrue(d, small)) {
        const V q = hn::Div(hn::Add(hn::Mul(a2, a), hn::Mul(hn::Set(d, 0.431597974f), a)),
                            hn::Add(hn::Add(a4, hn::Mul(hn::Set(d, 0.76443945f), a2)), hn::Set(d, 0.05831938f)));
        r = hn::IfThenElse(small, smallR, halfPiMinus(q));
        r = hn::IfThenElse(hn::Ge(a, hn::Set(d, 134217728.0f)), hn::Set(d, 1.57079637f), r);
    }
    const hn::RebindToSigned<D> di;
    const M negative = hn::RebindMask(d, hn::Lt(hn::BitCast(di, v), hn::Zero(di)));
    return hn::Mul(hn::IfThenElse(negative, hn::Set(d, -1.0f), one), r);
}

// roundInt in lanes: to the nearest integer, ties to even (adding and taking
// away 2^23 rounds so under the render's rounding mode; from 2^23 on a float
// is whole), and 0x80000000 out of range or for NaN, as the processor's
// conversion gives.
hn::Vec<hn::RebindToSigned<D>> roundLanes(V v) {
    const D d;
    const hn::RebindToSigned<D> di;
    const V whole = hn::Set(d, 8388608.0f);
    const V large = hn::CopySignToAbs(whole, v);
    const V rounded = hn::IfThenElse(hn::Lt(hn::Abs(v), whole), hn::Sub(hn::Add(large, v), large), v);
    const M inRange = hn::And(hn::Ge(v, hn::Set(d, -2147483648.0f)), hn::Lt(v, hn::Set(d, 2147483648.0f)));
    const V safe = hn::IfThenElseZero(inRange, rounded);  // no lane's conversion overflows
    return hn::IfThenElse(hn::RebindMask(di, inRange), hn::ConvertTo(di, safe), hn::Set(di, static_cast<int32_t>(0x80000000u)));
}

// The crusher: the product wraps at 32 bits, the clamp keeps it symmetric at
// 32767, the bit flip comes after it.
V crushLanes(V x, V scale, hn::Vec<hn::RebindToSigned<D>> mult, hn::Vec<hn::RebindToSigned<D>> flip) {
    const D d;
    const hn::RebindToSigned<D> di;
    const hn::RebindToUnsigned<D> du;
    const auto product = hn::BitCast(di, hn::Mul(hn::BitCast(du, roundLanes(hn::Mul(x, scale))), hn::BitCast(du, mult)));
    const auto clamped = hn::Max(hn::Min(product, hn::Set(di, 32767)), hn::Set(di, -32767));
    return hn::Mul(hn::ConvertTo(d, hn::Xor(clamped, flip)), hn::Set(d, 0.000030517578125f));
}

void DistLanesKernel(const DistLanes& batch, float* samples, int32_t n) {
    const D d;
    const hn::RebindToSigned<D> di;
    const size_t stride = static_cast<size_t>(batch.rowStride);
    for (size_t at = 0; at < static_cast<size_t>(batch.lanes); at += hn::Lanes(d)) {
        const auto mode = hn::Load(di, batch.mode + at);
        const M overdrive = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, overdriveMode)));
        const M clip = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, clipMode)));
        const M crush = hn::RebindMask(d, hn::Eq(mode, hn::Set(di, crusherMode)));
        const M mine = hn::Or(hn::Or(overdrive, clip), crush);
        if (hn::AllFalse(d, mine)) continue;
        const V gain = hn::Load(d, batch.gain + at);
        const V offset = hn::Load(d, batch.offset + at);
        const V outScale = hn::Load(d, batch.outScale + at);
        const bool anyOverdrive = !hn::AllFalse(d, overdrive);
        const bool anyCrush = !hn::AllFalse(d, crush);
        const V crushScale = hn::Load(d, batch.crushScale + at);
        const auto crushMult = hn::Load(di, batch.crushMult + at);
        const auto crushXor = hn::Load(di, batch.crushXor + at);
        const V one = hn::Set(d, 1.0f), minusOne = hn::Set(d, -1.0f);
        for (size_t k = 0; k < static_cast<size_t>(n); ++k) {
            float* row = samples + k * stride + at;
            const V x = hn::LoadU(d, row);
            const V v = hn::Add(hn::Mul(x, gain), offset);
            V shaped = hn::IfThenElse(hn::Gt(v, one), one, v);
            shaped = hn::IfThenElse(hn::Lt(shaped, minusOne), minusOne, shaped);
            if (anyOverdrive) shaped = hn::IfThenElse(overdrive, atanLanes(v), shaped);
            V out = hn::Mul(shaped, outScale);
            if (anyCrush) out = hn::IfThenElse(crush, crushLanes(x, crushScale, crushMult, crushXor), out);
            hn::StoreU(hn::IfThenElse(mine, out, x), d, row);
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"
#include "synth/voice/distortion.h"

WB_LANE_KERNEL_TABLE(DistLanesKernel)

bool distLanesTake(int32_t mode) { return mode >= 1 && mode <= 3; }

void distLanesSet(DistLanes& batch, int32_t j, const Distortion& dist) {
    batch.mode[j] = dist.mode;
    batch.gain[j] = dist.gain, batch.offset[j] = dist.offset, batch.outScale[j] = dist.outScale;
    batch.crushScale[j] = dist.crushScale, batch.crushMult[j] = dist.crushMult;
    batch.crushXor[j] = dist.crushXor;
}

void distLanesProcess(const DistLanes& batch, float* samples, int32_t n) {
    wembrastel::DistLanesKernelTargets[laneTargetSlot()](batch, samples, n);
}
#endif
