// Compiled once per SIMD target; the entries run the chosen one.
//
// A stretch of samples goes at once when every read lies either at or after
// the stretch's own write positions (read before they are written, as the
// sample loop does) or before its first one: the shortest look-back,
// min(left delay - 1, right delay), bounds the stretch. The LFO's 32 x 10-bit
// product is split into two 16 x 10-bit ones, so 32-bit lanes hold it whole.
#include "synth/simd/mod_delay_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/mod_delay_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
namespace {

// The read offset of one side for LFO phases s: whole samples and the
// fraction, as sweep() in mod_delay.cpp computes them.
template <class D>
void sweepLanes(D d, hn::Vec<hn::RebindToUnsigned<D>> s, uint32_t depth,
                hn::Vec<hn::RebindToSigned<D>>& whole, hn::Vec<D>& fraction) {
    const hn::RebindToUnsigned<D> du;
    const hn::RebindToSigned<D> di;
    const auto t = hn::ShiftLeft<1>(s);
    const auto falling = hn::RebindMask(du, hn::Lt(hn::BitCast(di, s), hn::Zero(di)));
    const auto triangle = hn::IfThenElse(falling, hn::Not(t), t);
    // triangle x depth = a 2^16 + b, with a and b below 2^26.
    const auto a = hn::Mul(hn::ShiftRight<16>(triangle), hn::Set(du, depth));
    const auto b = hn::Mul(hn::And(triangle, hn::Set(du, 0xFFFFu)), hn::Set(du, depth));
    whole = hn::BitCast(di, hn::ShiftRight<16>(hn::Add(a, hn::ShiftRight<16>(b))));
    const auto low = hn::Add(hn::ShiftLeft<16>(a), b);
    fraction = hn::Mul(hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<9>(low))),
                       hn::Set(d, 1.0f / 8388608.0f));
}

// ramp: 0, 1, 2, ... made once by the caller (Highway builds an Iota
// through memory, which a vector load right after cannot take from the
// stores in flight).
template <class D>
hn::Vec<D> interpolateLanes(D d, const float* line, hn::Vec<hn::RebindToSigned<D>> i0,
                            hn::Vec<hn::RebindToSigned<D>> ramp, int32_t mask, hn::Vec<D> fraction) {
    const hn::RebindToSigned<D> di;
    hn::Vec<D> y0, y1;
    // The sweep's whole part mostly holds still over a vector: then the
    // reads are one run of consecutive values, loaded instead of gathered.
    const int32_t first = hn::GetLane(i0);
    const int32_t last = first + static_cast<int32_t>(hn::Lanes(d));  // read by the last lane's y1
    if (last <= mask && hn::AllTrue(di, hn::Eq(hn::Sub(i0, hn::Set(di, first)), ramp))) {
        y0 = hn::LoadU(d, line + first);
        y1 = hn::LoadU(d, line + first + 1);
    } else {
        y0 = hn::GatherIndex(d, line, i0);
        y1 = hn::GatherIndex(d, line, hn::And(hn::Add(i0, hn::Set(di, 1)), hn::Set(di, mask)));
    }
    return hn::Add(y0, hn::Mul(hn::Sub(y1, y0), hn::Sub(hn::Set(d, 1.0f), fraction)));
}

// Samples j..count - 1 of a stretch whose sample 0 is written at position
// at with LFO phase phase; returns where it stopped (whole vectors only).
// send: the mono bus in, the wet taps added to out; otherwise the stereo
// buffer out in place, dry plus wet.
template <bool send, class D>
int32_t delayStretch(D d, const ModDelay& u, const float* in, float* out, int32_t at, uint32_t phase,
                     int32_t j, int32_t count) {
    const hn::RebindToUnsigned<D> du;
    const hn::RebindToSigned<D> di;
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    const auto steps = hn::Mul(hn::Iota(du, 0), hn::Set(du, u.phaseInc));
    const auto mask = hn::Set(di, u.mask);
    const auto ramp = hn::Iota(di, 0);
    for (; j + w <= count; j += w) {
        const auto phaseL = hn::Add(hn::Set(du, phase + static_cast<uint32_t>(j) * u.phaseInc), steps);
        const auto phaseR = hn::Add(phaseL, hn::Set(du, static_cast<uint32_t>(u.phaseOffset)));
        const auto writeAt = hn::Add(hn::Set(di, at + j), ramp);
        hn::Vec<decltype(di)> wholeL, wholeR;
        hn::Vec<D> fractionL, fractionR;
        sweepLanes(d, phaseR, u.depth, wholeR, fractionR);
        sweepLanes(d, phaseL, u.depth, wholeL, fractionL);
        const auto readR = hn::And(hn::Sub(hn::Sub(writeAt, hn::Add(hn::Set(di, u.delayR), wholeR)), hn::Set(di, 1)), mask);
        const auto readL = hn::And(hn::Sub(writeAt, hn::Add(hn::Set(di, u.delayL), wholeL)), mask);
        const auto right = interpolateLanes(d, u.lineR, readR, ramp, u.mask, fractionR);
        const auto left = interpolateLanes(d, u.lineL, readL, ramp, u.mask, fractionL);
        const auto feedback = hn::Set(d, u.feedback);
        const auto wet = hn::Set(d, u.wet);
        hn::Vec<D> xL, xR, outL, outR;
        if constexpr (send) {
            xL = xR = hn::LoadU(d, in + j);
            hn::LoadInterleaved2(d, out + 2 * j, outL, outR);
            outL = hn::Add(outL, hn::Mul(left, wet));
            outR = hn::Add(outR, hn::Mul(right, wet));
        } else {
            hn::LoadInterleaved2(d, out + 2 * j, xL, xR);
            const auto dry = hn::Set(d, u.dry);
            outL = hn::Add(hn::Mul(xL, dry), hn::Mul(left, wet));
            outR = hn::Add(hn::Mul(xR, dry), hn::Mul(right, wet));
        }
        hn::StoreInterleaved2(outL, outR, d, out + 2 * j);
        hn::StoreU(hn::Add(xR, hn::Mul(right, feedback)), d, u.lineR + at + j);
        hn::StoreU(hn::Add(xL, hn::Mul(left, feedback)), d, u.lineL + at + j);
    }
    return j;
}

// n samples from the unit's position on; false (nothing done) when its
// delays are too short for whole vectors.
template <bool send>
bool delayLanes(ModDelay& shared, const float* in, float* out, int32_t n) {
    const hn::ScalableTag<float> d;
    const hn::CappedTag<float, 1> d1;
    const int32_t width = static_cast<int32_t>(hn::Lanes(d));
    const int32_t reach = shared.delayL - 1 < shared.delayR ? shared.delayL - 1 : shared.delayR;
    if (reach < width) return false;
    ModDelay u = shared;
    for (int32_t i = 0; i < n;) {
        int32_t count = n - i < reach ? n - i : reach;
        const int32_t toEnd = u.mask + 1 - u.writeIndex;  // stores stay within the line
        count = count < toEnd ? count : toEnd;
        const float* stretchIn = send ? in + i : nullptr;
        float* stretchOut = out + 2 * i;
        const int32_t j = delayStretch<send>(d, u, stretchIn, stretchOut, u.writeIndex, u.phase, 0, count);
        delayStretch<send>(d1, u, stretchIn, stretchOut, u.writeIndex, u.phase, j, count);
        u.phase += static_cast<uint32_t>(count) * u.phaseInc;
        u.writeIndex = (u.writeIndex + count) & u.mask;
        i += count;
    }
    shared.phase = u.phase;
    shared.writeIndex = u.writeIndex;
    return true;
}

}  // namespace

bool ModDelayLanesStereo(ModDelay& unit, float* buffer, int32_t n) {
    return delayLanes<false>(unit, nullptr, buffer, n);
}

bool ModDelayLanesSend(ModDelay& unit, const float* monoIn, float* stereoOut, int32_t n) {
    return delayLanes<true>(unit, monoIn, stereoOut, n);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(ModDelayLanesStereo)
WB_LANE_KERNEL_TABLE(ModDelayLanesSend)

void modDelayLanesStereo(ModDelay& unit, float* buffer, int32_t n) {
    if (unit.wet == 0.0f) return;
    if (!wembrastel::ModDelayLanesStereoTargets[laneTargetSlot()](unit, buffer, n)) modDelayProcessStereo(unit, buffer, n);
}

void modDelayLanesSend(ModDelay& unit, const float* monoIn, float* stereoOut, int32_t n) {
    if (unit.wet == 0.0f) return;
    if (!wembrastel::ModDelayLanesSendTargets[laneTargetSlot()](unit, monoIn, stereoOut, n)) modDelayProcessSend(unit, monoIn, stereoOut, n);
}
#endif
