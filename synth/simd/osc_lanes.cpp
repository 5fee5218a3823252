// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/osc_lanes.h"
#include "synth/voice/math.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/osc_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<float>;
using DU = hn::RebindToUnsigned<D>;
using DI = hn::RebindToSigned<D>;
using V = hn::Vec<D>;
using VU = hn::Vec<DU>;
using M = hn::Mask<D>;

// A vector of +0 in every lane: what a fresh group's first mode reads as
// its rows.
HWY_ALIGN constexpr float zeroRow[64 / sizeof(float)] = {};

// One vector of lanes: where its samples are and its phase.
struct Group {
    float* samples;  // lane 0 of the group at sample 0
    size_t stride;
    const float* source;  // where the samples so far are read: the samples, or zeroRow
    size_t sourceStride;  // stride or (zeroRow) 0
    int32_t n;
    M ring;
    VU phase;
    VU increment;
};

// frac(): the fraction of a cycle the top 23 bits of a phase stand for.
V fraction(VU phase) {
    const D d;
    const DI di;
    return hn::Mul(hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<9>(phase))),
                   hn::Set(d, 1.0f / 8388608.0f));
}

M below(VU a, VU b) { return hn::RebindMask(D(), hn::Lt(a, b)); }

// The samples of row i so far.
V rowSoFar(const Group& g, int32_t i) {
    return hn::LoadU(D(), g.source + static_cast<size_t>(i) * g.sourceStride);
}

// oscRender's combine into row i, in the lanes of `mine` only.
void combine(const Group& g, M mine, int32_t i, V y) {
    const D d;
    const V old = rowSoFar(g, i);
    const V mixed = hn::IfThenElse(g.ring, hn::Mul(y, old), hn::Add(old, y));
    hn::StoreU(hn::IfThenElse(mine, mixed, old), d, g.samples + static_cast<size_t>(i) * g.stride);
}

// After a group's first mode has written every lane of its rows, the later
// ones read them.
void written(Group& g) {
    g.source = g.samples;
    g.sourceStride = g.stride;
}

// The polynomial of sinSeries.
V sinSeries(V u) {
    const D d;
    const V u2 = hn::Mul(u, u);
    const V inner = hn::Add(hn::Set(d, 0.0083143f), hn::Mul(u2, hn::Set(d, -0.00018542f)));
    const V middle = hn::Add(hn::Set(d, -0.16666f), hn::Mul(u2, inner));
    return hn::Add(hn::Set(d, 1.0f), hn::Mul(u2, middle));
}

// The step's case bits of caseIndex: a (previous phase in segment 1),
// w (wrapped), s (in segment 1 now); a tiny step is never a crossing.
struct Cases {
    M a, w, s;
};

Cases cases(VU phase, VU increment, VU breakpoint, M tiny) {
    const M s = below(phase, breakpoint);
    const M a = below(hn::Sub(phase, increment), breakpoint);
    const M w = below(phase, increment);
    return {hn::Or(hn::And(tiny, s), hn::AndNot(tiny, a)), hn::AndNot(tiny, w), s};
}

// Steps that end in neither case pair 0/6 nor 1/5.
M crossing(const Cases& c) {
    return hn::Or(hn::And(c.s, c.w), hn::AndNot(c.s, hn::Xor(c.a, c.w)));
}

// Case 7 or 3 (in segment 1), 4 or 2 (not).
V pickCrossing(const Cases& c, V y7, V y3, V y4, V y2) {
    return hn::IfThenElse(c.s, hn::IfThenElse(c.a, y7, y3), hn::IfThenElse(c.a, y4, y2));
}

// How many steps from phase on no lane of `mine` crosses its breakpoint or
// the cycle end (so every step's case stays that of the first), at most
// limit; 0 when the first step may be one. The phase distance over the
// increment in single precision, less 2 for its rounding.
HWY_INLINE int32_t plainSteps(VU phase, VU increment, VU breakpoint, M mine, int32_t limit) {
    const D d;
    const DU du;
    const DI di;
    const hn::Mask<DU> s = hn::Lt(phase, breakpoint);
    // Neither this step nor the one before wraps or changes segment.
    const hn::Mask<DU> clean = hn::And(hn::Not(hn::Lt(phase, increment)),
                                       hn::Or(s, hn::Not(hn::Lt(hn::Sub(phase, increment), breakpoint))));
    if (!hn::AllTrue(d, hn::Or(hn::RebindMask(d, clean), hn::Not(mine)))) return 0;
    const VU distance = hn::IfThenElse(s, hn::Sub(breakpoint, phase), hn::Sub(hn::Zero(du), phase));
    const auto toFloat = [&](VU v) {
        return hn::Add(hn::Mul(hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<1>(v))), hn::Set(d, 2.0f)),
                       hn::ConvertTo(d, hn::BitCast(di, hn::And(v, hn::Set(du, 1u)))));
    };
    const V steps = hn::IfThenElse(mine, hn::Div(toFloat(distance), toFloat(increment)), hn::Set(d, 1e9f));
    const float fewest = hn::GetLane(hn::MinOfLanes(d, steps)) - 2.0f;
    if (!(fewest >= 1.0f)) return 0;
    return fewest >= static_cast<float>(limit) ? limit : static_cast<int32_t>(fewest);
}

void triSaw(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    const D d;
    const DU du;
    const V g = hn::Load(d, b.gain + at), f = hn::Load(d, b.f + at), bp = hn::Load(d, b.bp + at);
    const V A = hn::Load(d, b.slopeA + at), B = hn::Load(d, b.slopeB + at);
    const V invF = hn::Load(d, b.invF + at);
    const VU breakpoint = hn::Load(du, b.breakpoint + at);
    const M tiny = hn::RebindMask(d, hn::Ne(hn::Load(DI(), b.tinyStep + at), hn::Zero(DI())));
    const V one = hn::Set(d, 1.0f), two = hn::Set(d, 2.0f);
    VU phase = grp.phase;
    for (int32_t i = 0; i < grp.n;) {
        // Between crossings every step is a plain one in the same segment.
        const int32_t plain = plainSteps(phase, grp.increment, breakpoint, mine, grp.n - i);
        if (plain > 0) {
            const V slope = hn::IfThenElse(below(phase, breakpoint), B, A);
            for (const int32_t end = i + plain; i < end; ++i) {
                const V delta = hn::Sub(fraction(phase), bp);
                const V y = hn::Add(hn::Mul(hn::Sub(hn::Mul(two, delta), f), slope), g);
                combine(grp, mine, i, y);
                phase = hn::Add(phase, grp.increment);
            }
            continue;
        }
        const V delta = hn::Sub(fraction(phase), bp);
        const Cases c = cases(phase, grp.increment, breakpoint, tiny);
        V y = hn::Add(hn::Mul(hn::Sub(hn::Mul(two, delta), f), hn::IfThenElse(c.s, B, A)), g);
        const M rare = crossing(c);
        if (!hn::AllFalse(d, rare)) {
            const V Df = hn::Sub(delta, f);
            const V y4 = hn::Add(hn::Mul(hn::Sub(hn::Mul(A, hn::Mul(delta, delta)), hn::Mul(B, hn::Mul(Df, Df))), invF), g);
            const V e = hn::Sub(hn::Add(one, delta), f);
            const V y3 = hn::Sub(g, hn::Mul(hn::Add(hn::Sub(hn::Mul(A, hn::Mul(e, e)), hn::Mul(B, hn::Mul(delta, delta))), g), invF));
            const V wrapRise = hn::Mul(hn::Sub(one, f), hn::Sub(hn::Add(hn::Mul(two, delta), one), f));
            const V y2 = hn::Sub(g, hn::Mul(hn::Add(hn::Mul(wrapRise, A), g), invF));
            const V y7 = hn::Sub(g, hn::Mul(hn::Add(hn::Mul(wrapRise, B), g), invF));
            y = hn::IfThenElse(rare, pickCrossing(c, y7, y3, y4, y2), y);
        }
        combine(grp, mine, i, y);
        phase = hn::Add(phase, grp.increment);
        ++i;
    }
}

void pulse(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    const D d;
    const DU du;
    const V g = hn::Load(d, b.gain + at), bp = hn::Load(d, b.bp + at);
    const V gOverF = hn::Load(d, b.slopeA + at);
    const V X0 = hn::Load(d, b.slopeB + at), X1 = hn::Load(d, b.invF + at);
    const VU breakpoint = hn::Load(du, b.breakpoint + at);
    const M tiny = hn::RebindMask(d, hn::Ne(hn::Load(DI(), b.tinyStep + at), hn::Zero(DI())));
    const V two = hn::Set(d, 2.0f);
    VU phase = grp.phase;
    for (int32_t i = 0; i < grp.n; ++i) {
        const Cases c = cases(phase, grp.increment, breakpoint, tiny);
        V y = hn::IfThenElse(c.s, g, hn::Neg(g));
        const M rare = crossing(c);
        if (!hn::AllFalse(d, rare)) {
            const V p = fraction(phase);
            const V y4 = hn::Add(hn::Mul(hn::Mul(two, hn::Sub(bp, p)), gOverF), g);
            const V y3 = hn::Sub(hn::Mul(hn::Mul(two, p), gOverF), g);
            y = hn::IfThenElse(rare, pickCrossing(c, X0, y3, y4, X1), y);
        }
        combine(grp, mine, i, y);
        phase = hn::Add(phase, grp.increment);
    }
}

void sine(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    const D d;
    const DU du;
    const DI di;
    const V g = hn::Load(d, b.gain + at);
    VU phase = grp.phase;
    for (int32_t i = 0; i < grp.n; ++i) {
        // Fold the phase into the rising half-cycle around zero.
        VU h = hn::Add(phase, hn::Set(du, 0x40000000u));
        h = hn::IfThenElse(hn::RebindMask(du, hn::Lt(hn::BitCast(di, h), hn::Zero(di))), hn::Not(h), h);
        const V t = hn::Mul(hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<8>(h))),
                            hn::Set(d, 1.0f / 8388608.0f));
        const V u = hn::Sub(hn::Mul(hn::Add(hn::Set(d, 1.0f), t), hn::Set(d, piF)), hn::Set(d, threeHalfPiF));
        const V y = hn::Mul(hn::Mul(g, u), sinSeries(u));
        combine(grp, mine, i, y);
        phase = hn::Add(phase, grp.increment);
    }
}

// Up to this many vectors of noise lanes per pass through the samples: the
// filter's recursion is bound by its latency, so the vectors' recursions
// run side by side.
constexpr size_t noiseVectorsPerPass = 4;

// One vector's noise generator and filter.
struct NoiseLanes {
    Group grp;
    M mine;
    V g, F, Q, low, band;
    VU seed;
};

NoiseLanes loadNoise(const OscLanes& b, size_t at, const Group& grp, M mine) {
    const D d;
    const DU du;
    return {grp, mine, hn::Load(d, b.gain + at), hn::Load(d, b.noiseFreq + at), hn::Load(d, b.noiseDamp + at),
            hn::Load(d, b.noiseLow + at), hn::Load(d, b.noiseBand + at), hn::Load(du, b.noiseSeed + at)};
}

void storeNoise(const NoiseLanes& s, OscLanes& b, size_t at) {
    const D d;
    const DU du;
    const hn::Mask<DU> mineU = hn::RebindMask(du, s.mine);
    hn::Store(hn::IfThenElse(mineU, s.seed, hn::Load(du, b.noiseSeed + at)), du, b.noiseSeed + at);
    hn::Store(hn::IfThenElse(s.mine, s.low, hn::Load(d, b.noiseLow + at)), d, b.noiseLow + at);
    hn::Store(hn::IfThenElse(s.mine, s.band, hn::Load(d, b.noiseBand + at)), d, b.noiseBand + at);
}

template <size_t count>
void noisePass(NoiseLanes (&s)[noiseVectorsPerPass], int32_t n) {
    const D d;
    const DU du;
    const DI di;
    const VU seedMul = hn::Set(du, 0x0BB38435u), seedAdd = hn::Set(du, 0x3619636Bu);
    for (int32_t i = 0; i < n; ++i) {
        for (size_t k = 0; k < count; ++k) {
            NoiseLanes& u = s[k];
            u.seed = hn::Add(hn::Mul(u.seed, seedMul), seedAdd);
            const V v = hn::Sub(hn::Mul(hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<9>(u.seed))),
                                        hn::Set(d, 1.0f / 4194304.0f)),
                                hn::Set(d, 1.0f));
            u.low = hn::Add(u.low, hn::Mul(u.F, u.band));
            const V high = hn::Sub(hn::Sub(v, hn::Mul(u.Q, u.band)), u.low);
            u.band = hn::Add(u.band, hn::Mul(u.F, high));
            const V y = hn::Mul(u.g, hn::Add(hn::Mul(u.Q, hn::Add(high, u.low)), u.band));
            combine(u.grp, u.mine, i, y);
        }
    }
}

// The noise lanes of the listed vectors (at[k], with their groups), several
// vectors per pass.
void noise(OscLanes& b, const size_t* at, const Group* grp, const M* mine, size_t vectors, int32_t n) {
    for (size_t first = 0; first < vectors; first += noiseVectorsPerPass) {
        const size_t count = vectors - first < noiseVectorsPerPass ? vectors - first : noiseVectorsPerPass;
        NoiseLanes s[noiseVectorsPerPass];
        for (size_t k = 0; k < count; ++k) s[k] = loadNoise(b, at[first + k], grp[first + k], mine[first + k]);
        switch (count) {
            case 1: noisePass<1>(s, n); break;
            case 2: noisePass<2>(s, n); break;
            case 3: noisePass<3>(s, n); break;
            default: noisePass<4>(s, n); break;
        }
        for (size_t k = 0; k < count; ++k) storeNoise(s[k], b, at[first + k]);
    }
}

// fastSin; arguments beyond 16 cycles (or NaN), rare, go lane by lane
// through fastSin itself.
V sinLanes(V a) {
    const D d;
    const V m = hn::Abs(a);
    if (!hn::AllTrue(d, hn::Lt(m, hn::Set(d, 16.0f * twoPiF)))) {
        HWY_ALIGN float lanes[64 / sizeof(float)];
        hn::Store(a, d, lanes);
        for (size_t j = 0; j < hn::Lanes(d); ++j) lanes[j] = fastSin(lanes[j]);
        return hn::Load(d, lanes);
    }
    V r = m;
    for (const float cycles : {8.0f, 4.0f, 2.0f, 1.0f}) {
        const V span = hn::Set(d, cycles * twoPiF);
        r = hn::IfThenElse(hn::Ge(r, span), hn::Sub(r, span), r);
    }
    r = hn::CopySign(r, a);
    r = hn::IfThenElse(hn::Lt(r, hn::Zero(d)), hn::Add(r, hn::Set(d, twoPiF)), r);
    const V u = hn::IfThenElse(hn::Le(r, hn::Set(d, halfPiF)), r,
                hn::IfThenElse(hn::Gt(r, hn::Set(d, threeHalfPiF)), hn::Sub(r, hn::Set(d, twoPiF)),
                               hn::Sub(hn::Set(d, piF), r)));
    return hn::Mul(u, sinSeries(u));
}

// Sine phase-modulated by the samples; replaces them (or multiplies into them).
void fm(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    const D d;
    const V g = hn::Load(d, b.gain + at);
    const V one = hn::Set(d, 1.0f), two = hn::Set(d, 2.0f), twoPi = hn::Set(d, twoPiF);
    VU phase = grp.phase;
    for (int32_t i = 0; i < grp.n; ++i) {
        float* row = grp.samples + static_cast<size_t>(i) * grp.stride;
        const V m = rowSoFar(grp, i);
        const V y = hn::Mul(g, sinLanes(hn::Mul(twoPi, hn::Add(hn::Add(hn::Mul(two, m), one), fraction(phase)))));
        const V out = hn::IfThenElse(grp.ring, hn::Mul(y, m), y);
        hn::StoreU(hn::IfThenElse(mine, out, m), d, row);
        phase = hn::Add(phase, grp.increment);
    }
}

void OscLanesKernel(OscLanes& batch, float* samples, int32_t n) {
    const D d;
    const DU du;
    const DI di;
    const size_t width = hn::Lanes(d);
    // Every lane is in one mode, so the modes may run in any order: the
    // noise lanes of all vectors go last, together.
    constexpr size_t maxVectors = oscLaneCapacity;
    size_t noiseAt[maxVectors];
    Group noiseGroup[maxVectors];
    M noiseMine[maxVectors];
    size_t noiseVectors = 0;
    for (size_t at = 0; at < static_cast<size_t>(batch.lanes); at += width) {
        const auto mode = hn::Load(di, batch.mode + at);
        const size_t stride = static_cast<size_t>(batch.rowStride);
        if (hn::AllTrue(di, hn::Eq(mode, hn::Zero(di)))) {
            if (batch.fresh)
                for (int32_t i = 0; i < n; ++i) hn::StoreU(hn::Zero(d), d, samples + at + static_cast<size_t>(i) * stride);
            continue;
        }
        Group grp{samples + at, stride, batch.fresh ? zeroRow : samples + at, batch.fresh ? 0 : stride, n,
                  hn::RebindMask(d, hn::Ne(hn::Load(di, batch.ring + at), hn::Zero(di))),
                  hn::Load(du, batch.phase + at), hn::Load(du, batch.increment + at)};
        const auto is = [&](int32_t m) { return hn::RebindMask(d, hn::Eq(mode, hn::Set(di, m))); };
        // Each mode writes every lane of the rows (its own, or the samples so
        // far), so a fresh group's first mode reads zeros and the rest its rows.
        if (const M mine = is(1); !hn::AllFalse(d, mine)) triSaw(batch, at, grp, mine), written(grp);
        if (const M mine = is(2); !hn::AllFalse(d, mine)) pulse(batch, at, grp, mine), written(grp);
        if (const M mine = is(3); !hn::AllFalse(d, mine)) sine(batch, at, grp, mine), written(grp);
        if (const M mine = is(5); !hn::AllFalse(d, mine)) fm(batch, at, grp, mine), written(grp);
        if (const M mine = is(4); !hn::AllFalse(d, mine)) {
            noiseAt[noiseVectors] = at;
            noiseGroup[noiseVectors] = grp;
            noiseMine[noiseVectors++] = mine;
        }
        // Every mode but noise (and silence) steps the phase n times.
        const M steps = hn::Not(hn::Or(is(0), is(4)));
        const VU advanced = hn::Add(grp.phase, hn::Mul(grp.increment, hn::Set(du, static_cast<uint32_t>(n))));
        hn::Store(hn::IfThenElse(hn::RebindMask(du, steps), advanced, grp.phase), du, batch.phase + at);
    }
    noise(batch, noiseAt, noiseGroup, noiseMine, noiseVectors, n);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(OscLanesKernel)

void oscLanesProcess(OscLanes& batch, float* samples, int32_t n) {
    wembrastel::OscLanesKernelTargets[laneTargetSlot()](batch, samples, n);
}
#endif
