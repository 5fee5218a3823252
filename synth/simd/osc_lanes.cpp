// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/osc_lanes.h"
#include "synth/voice/math.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/osc_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>
#include "synth/simd/packed_rows-inl.h"

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

// Rows a packed vector holds: lanes 0..3 of each, side by side. Where a
// group's voices fit in its first four lanes, a vector this wide computes
// that many samples of each at once instead of one; 1 where vectors hold
// four lanes or fewer.
constexpr int32_t packedRows = hn::MaxLanes(D()) >= 8 ? static_cast<int32_t>(hn::MaxLanes(D())) / 4 : 1;

// One vector of lanes: where its samples are and its phase. Packed, a
// vector's lanes 4 t..4 t + 3 are lanes 0..3 of row t of a step, and its
// phases are those rows' (see packedGroup).
struct Group {
    float* samples;  // lane 0 of the group at sample 0
    size_t stride;
    const float* source;  // where the samples so far are read: the samples, or zeroRow
    size_t sourceStride;  // stride or (zeroRow) 0
    int32_t n;            // steps: samples, or packed rows of samples
    M ring;
    VU phase;
    VU increment;  // from one sample to the next
    VU advance;    // from one step to the next
};

// Four lanes as a whole vector, the rest +0.
template <class Tag>
HWY_INLINE V widened(hn::Vec<Tag> v) {
    if constexpr (hn::MaxLanes(Tag()) == hn::MaxLanes(D())) {
        return v;
    } else {
#if HWY_TARGET != HWY_SCALAR
        return widened<hn::Twice<Tag>>(hn::ZeroExtendVector(hn::Twice<Tag>(), v));
#endif
    }
}

// The reverse of packedLoad; `whole` writes every lane of the rows, those
// from 4 on as +0.
template <class Tag>
HWY_INLINE void packedStore(Tag d, hn::Vec<Tag> v, float* row, [[maybe_unused]] size_t stride, bool whole) {
#if HWY_TARGET != HWY_SCALAR
    if constexpr (hn::MaxLanes(Tag()) > 4) {
        const hn::Half<Tag> half;
        const size_t rows = hn::MaxLanes(Tag()) / 8;
        packedStore(half, hn::LowerHalf(half, v), row, stride, whole);
        packedStore(half, hn::UpperHalf(half, v), row + rows * stride, stride, whole);
        return;
    }
#endif
    if (whole) hn::StoreU(widened<Tag>(v), D(), row);
    else hn::StoreU(v, d, row);
}

// A setting of the lanes at p, as one row per vector or packed has it.
template <bool packed, class Tag>
hn::Vec<Tag> setting(Tag d, const hn::TFromD<Tag>* p) {
    if constexpr (packed) return packedLoad(d, p, 0);
    else return hn::Load(d, p);
}

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

// oscRender's combine into step i, in the lanes of `mine` only.
template <bool packed>
HWY_INLINE void combine(const Group& g, M mine, int32_t i, V y) {
    const D d;
    const size_t row = static_cast<size_t>(i) * (packed ? packedRows : 1);
    V old;
    if constexpr (packed) old = g.sourceStride == 0 ? hn::Zero(d) : packedLoad(d, g.source + row * g.stride, g.stride);
    else old = rowSoFar(g, i);
    const V out = hn::IfThenElse(mine, hn::IfThenElse(g.ring, hn::Mul(y, old), hn::Add(old, y)), old);
    if constexpr (packed) packedStore(d, out, g.samples + row * g.stride, g.stride, g.sourceStride == 0);
    else hn::StoreU(out, d, g.samples + row * g.stride);
}

// Plain steps, as steps of the group: a packed lane's next plain samples
// are its own row's, a packed step apart.
template <bool packed>
int32_t plainStepsOf(int32_t samples) {
    return packed && samples > 0 ? (samples - 1) / packedRows + 1 : samples;
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

// Steps per chunk of triSawTwoPass.
constexpr int32_t chunkSteps = 64;

// The step a vector's phase reaches from the group's first after i steps.
VU phaseAt(const Group& grp, int32_t i) {
    return hn::Add(grp.phase, hn::Mul(grp.advance, hn::Set(DU(), static_cast<uint32_t>(i))));
}

// The plain sample of a triangle/saw step: on its segment's slope.
HWY_INLINE V triSawPlain(V delta, V f, V slope, V g) {
    return hn::Add(hn::Mul(hn::Sub(hn::Mul(hn::Set(D(), 2.0f), delta), f), slope), g);
}

// The triangle/saw's mean over steps that cross (case 7, 3, 4 or 2).
HWY_INLINE V triSawCrossing(const Cases& c, V delta, V f, V A, V B, V invF, V g) {
    const D d;
    const V one = hn::Set(d, 1.0f), two = hn::Set(d, 2.0f);
    const V Df = hn::Sub(delta, f);
    const V y4 = hn::Add(hn::Mul(hn::Sub(hn::Mul(A, hn::Mul(delta, delta)), hn::Mul(B, hn::Mul(Df, Df))), invF), g);
    const V e = hn::Sub(hn::Add(one, delta), f);
    const V y3 = hn::Sub(g, hn::Mul(hn::Add(hn::Sub(hn::Mul(A, hn::Mul(e, e)), hn::Mul(B, hn::Mul(delta, delta))), g), invF));
    const V wrapRise = hn::Mul(hn::Sub(one, f), hn::Sub(hn::Add(hn::Mul(two, delta), one), f));
    const V y2 = hn::Sub(g, hn::Mul(hn::Add(hn::Mul(wrapRise, A), g), invF));
    const V y7 = hn::Sub(g, hn::Mul(hn::Add(hn::Mul(wrapRise, B), g), invF));
    return pickCrossing(c, y7, y3, y4, y2);
}

// A triangle/saw's constants in the lanes, as one row per vector or packed
// has them.
struct TriSawLanes {
    V g, f, bp, A, B, invF;
    VU breakpoint;
    M tiny;
};

template <bool packed>
TriSawLanes triSawLanes(const OscLanes& b, size_t at) {
    const D d;
    return {setting<packed>(d, b.gain + at),  setting<packed>(d, b.f + at),      setting<packed>(d, b.bp + at),
            setting<packed>(d, b.slopeA + at), setting<packed>(d, b.slopeB + at), setting<packed>(d, b.invF + at),
            setting<packed>(DU(), b.breakpoint + at),
            hn::RebindMask(d, hn::Ne(setting<packed>(DI(), b.tinyStep + at), hn::Zero(DI())))};
}

// Few lanes rarely cross: runs of plain steps between crossings.
template <bool packed>
void triSawRuns(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    const D d;
    const TriSawLanes t = triSawLanes<packed>(b, at);
    VU phase = grp.phase;
    for (int32_t i = 0; i < grp.n;) {
        // Between crossings every step is a plain one in the same segment.
        const int32_t plain = plainStepsOf<packed>(
            plainSteps(phase, grp.increment, t.breakpoint, mine, (grp.n - i) * (packed ? packedRows : 1)));
        if (plain > 0) {
            const V slope = hn::IfThenElse(below(phase, t.breakpoint), t.B, t.A);
            for (const int32_t end = i + plain; i < end; ++i) {
                combine<packed>(grp, mine, i, triSawPlain(hn::Sub(fraction(phase), t.bp), t.f, slope, t.g));
                phase = hn::Add(phase, grp.advance);
            }
            continue;
        }
        const V delta = hn::Sub(fraction(phase), t.bp);
        const Cases c = cases(phase, grp.increment, t.breakpoint, t.tiny);
        V y = triSawPlain(delta, t.f, hn::IfThenElse(c.s, t.B, t.A), t.g);
        const M rare = crossing(c);
        if (!hn::AllFalse(d, rare))
            y = hn::IfThenElse(rare, triSawCrossing(c, delta, t.f, t.A, t.B, t.invF, t.g), y);
        combine<packed>(grp, mine, i, y);
        phase = hn::Add(phase, grp.advance);
        ++i;
    }
}

// Many lanes, one vector per row: some lane crosses its breakpoint or the
// cycle end every few steps, and a branch on it per step mostly guesses
// wrong. So two passes over chunks of steps: the first writes every lane's
// plain sample, except where the lane crosses, and lists the steps where
// any lane does; the second computes those lanes' crossings. Each lane of
// each row is still combined once, from the same operands.
void triSawTwoPass(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    Group rows = grp;  // the crossings read the rows the first pass wrote
    written(rows);
    const D d;
    const TriSawLanes t = triSawLanes<false>(b, at);
    int32_t listed[chunkSteps];
    for (int32_t first = 0; first < grp.n; first += chunkSteps) {
        const int32_t end = grp.n - first < chunkSteps ? grp.n : first + chunkSteps;
        int32_t count = 0;
        VU phase = phaseAt(grp, first);
        for (int32_t i = first; i < end; ++i) {
            const Cases c = cases(phase, grp.increment, t.breakpoint, t.tiny);
            const M rare = crossing(c);
            const V y = triSawPlain(hn::Sub(fraction(phase), t.bp), t.f, hn::IfThenElse(c.s, t.B, t.A), t.g);
            combine<false>(grp, hn::AndNot(rare, mine), i, y);
            listed[count] = i;
            count += hn::AllFalse(d, hn::And(rare, mine)) ? 0 : 1;
            phase = hn::Add(phase, grp.advance);
        }
        for (int32_t k = 0; k < count; ++k) {
            const int32_t i = listed[k];
            const VU stepPhase = phaseAt(grp, i);
            const Cases c = cases(stepPhase, grp.increment, t.breakpoint, t.tiny);
            const V y = triSawCrossing(c, hn::Sub(fraction(stepPhase), t.bp), t.f, t.A, t.B, t.invF, t.g);
            combine<false>(rows, hn::And(crossing(c), mine), i, y);
        }
    }
}

// Beyond this many sounding lanes of a mode, one row per vector, some lane
// crosses every few steps: a triangle/saw then runs in two passes, a pulse
// works its crossings out on every step.
constexpr size_t runLanes = 1;

template <bool packed>
void triSaw(const OscLanes& b, size_t at, const Group& grp, M mine) {
    if (!packed && hn::CountTrue(D(), mine) > runLanes) triSawTwoPass(b, at, grp, mine);
    else triSawRuns<packed>(b, at, grp, mine);
}

template <bool packed>
void pulse(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    const D d;
    const DU du;
    const V g = setting<packed>(d, b.gain + at), bp = setting<packed>(d, b.bp + at);
    const V gOverF = setting<packed>(d, b.slopeA + at);
    const V X0 = setting<packed>(d, b.slopeB + at), X1 = setting<packed>(d, b.invF + at);
    const VU breakpoint = setting<packed>(du, b.breakpoint + at);
    const M tiny = hn::RebindMask(d, hn::Ne(setting<packed>(DI(), b.tinyStep + at), hn::Zero(DI())));
    const auto crossingSample = [&](const Cases& c, VU phase) {
        const V two = hn::Set(d, 2.0f);
        const V p = fraction(phase);
        const V y4 = hn::Add(hn::Mul(hn::Mul(two, hn::Sub(bp, p)), gOverF), g);
        const V y3 = hn::Sub(hn::Mul(hn::Mul(two, p), gOverF), g);
        return pickCrossing(c, X0, y3, y4, X1);
    };
    // The crossing's few operations cost less than a branch that mostly
    // guesses wrong.
    const bool everyStep = !packed && hn::CountTrue(d, mine) > runLanes;
    VU phase = grp.phase;
    for (int32_t i = 0; i < grp.n; ++i) {
        const Cases c = cases(phase, grp.increment, breakpoint, tiny);
        V y = hn::IfThenElse(c.s, g, hn::Neg(g));
        const M rare = crossing(c);
        if (everyStep || !hn::AllFalse(d, rare)) y = hn::IfThenElse(rare, crossingSample(c, phase), y);
        combine<packed>(grp, mine, i, y);
        phase = hn::Add(phase, grp.advance);
    }
}

template <bool packed>
void sine(const OscLanes& b, size_t at, const Group& group, M mine) {
    const Group grp = group;  // a local copy: not reloaded after every store to a row
    const D d;
    const DU du;
    const DI di;
    const V g = setting<packed>(d, b.gain + at);
    VU phase = grp.phase;
    for (int32_t i = 0; i < grp.n; ++i) {
        // Fold the phase into the rising half-cycle around zero.
        VU h = hn::Add(phase, hn::Set(du, 0x40000000u));
        h = hn::IfThenElse(hn::RebindMask(du, hn::Lt(hn::BitCast(di, h), hn::Zero(di))), hn::Not(h), h);
        const V t = hn::Mul(hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<8>(h))),
                            hn::Set(d, 1.0f / 8388608.0f));
        const V u = hn::Sub(hn::Mul(hn::Add(hn::Set(d, 1.0f), t), hn::Set(d, piF)), hn::Set(d, threeHalfPiF));
        const V y = hn::Mul(hn::Mul(g, u), sinSeries(u));
        combine<packed>(grp, mine, i, y);
        phase = hn::Add(phase, grp.advance);
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
            combine<false>(u.grp, u.mine, i, y);
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
    const auto takeAway = [&](float cycles) {
        const V span = hn::Set(d, cycles * twoPiF);
        r = hn::IfThenElse(hn::Ge(r, span), hn::Sub(r, span), r);
    };
    // Below 4 cycles (a modulator within +-1 keeps every lane there) the
    // first two steps take nothing away.
    if (!hn::AllTrue(d, hn::Lt(m, hn::Set(d, 4.0f * twoPiF)))) takeAway(8.0f), takeAway(4.0f);
    takeAway(2.0f);
    takeAway(1.0f);
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
        phase = hn::Add(phase, grp.advance);
    }
}

// Whether a group may run packed: its lanes from 4 on silent, and only
// modes whose samples depend on the phase alone.
bool packable(hn::Vec<DI> mode, int32_t n) {
    if (packedRows == 1 || n < packedRows) return false;
    const DI di;
    const auto silent = hn::Eq(mode, hn::Zero(di));
    const auto low = hn::Lt(hn::Iota(di, 0), hn::Set(di, 4));
    const auto phaseOnly = hn::And(hn::Gt(mode, hn::Zero(di)), hn::Lt(mode, hn::Set(di, 4)));
    return hn::AllTrue(di, hn::Or(silent, hn::And(low, phaseOnly)));
}

// The first `steps` packed steps of a group.
Group packedGroup(const OscLanes& b, size_t at, const Group& grp, int32_t steps) {
    const D d;
    const DU du;
    const DI di;
    const VU increment = packedLoad(du, b.increment + at, 0);
    Group packed = grp;
    packed.n = steps;
    packed.ring = hn::RebindMask(d, hn::Ne(packedLoad(di, b.ring + at, 0), hn::Zero(di)));
    packed.increment = increment;
    packed.phase = hn::Add(packedLoad(du, b.phase + at, 0), hn::Mul(increment, hn::ShiftRight<2>(hn::Iota(du, 0))));
    packed.advance = hn::Mul(increment, hn::Set(du, static_cast<uint32_t>(packedRows)));
    return packed;
}

// A group from sample `from` on.
Group groupFrom(const Group& grp, int32_t from) {
    const DU du;
    Group rest = grp;
    rest.samples += static_cast<size_t>(from) * grp.stride;
    if (grp.sourceStride != 0) rest.source = rest.samples;
    rest.n -= from;
    rest.phase = hn::Add(grp.phase, hn::Mul(grp.increment, hn::Set(du, static_cast<uint32_t>(from))));
    return rest;
}

// Each mode writes every lane of the rows (its own, or the samples so far),
// so a fresh group's first mode reads zeros and the rest its rows.
template <bool packed>
void phaseModes(const OscLanes& b, size_t at, Group& grp, hn::Vec<DI> mode) {
    const D d;
    const DI di;
    const auto is = [&](int32_t m) { return hn::RebindMask(d, hn::Eq(mode, hn::Set(di, m))); };
    if (const M mine = is(1); !hn::AllFalse(d, mine)) triSaw<packed>(b, at, grp, mine), written(grp);
    if (const M mine = is(2); !hn::AllFalse(d, mine)) pulse<packed>(b, at, grp, mine), written(grp);
    if (const M mine = is(3); !hn::AllFalse(d, mine)) sine<packed>(b, at, grp, mine), written(grp);
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
        const VU increment = hn::Load(du, batch.increment + at);
        const Group grp{samples + at, stride, batch.fresh ? zeroRow : samples + at, batch.fresh ? 0 : stride, n,
                        hn::RebindMask(d, hn::Ne(hn::Load(di, batch.ring + at), hn::Zero(di))),
                        hn::Load(du, batch.phase + at), increment, increment};
        const int32_t packedSamples = packable(mode, n) ? n - n % packedRows : 0;
        if constexpr (packedRows > 1) {
            if (packedSamples > 0) {
                Group packed = packedGroup(batch, at, grp, packedSamples / packedRows);
                phaseModes<true>(batch, at, packed, packedLoad(di, batch.mode + at, 0));
            }
        }
        if (packedSamples < n) {
            Group rest = groupFrom(grp, packedSamples);
            phaseModes<false>(batch, at, rest, mode);
            const auto is = [&](int32_t m) { return hn::RebindMask(d, hn::Eq(mode, hn::Set(di, m))); };
            if (const M mine = is(5); !hn::AllFalse(d, mine)) fm(batch, at, rest, mine), written(rest);
            if (const M mine = is(4); !hn::AllFalse(d, mine)) {
                noiseAt[noiseVectors] = at;
                noiseGroup[noiseVectors] = rest;
                noiseMine[noiseVectors++] = mine;
            }
        }
        // Every mode but noise (and silence) steps the phase n times.
        const auto moving = hn::And(hn::Ne(mode, hn::Zero(di)), hn::Ne(mode, hn::Set(di, 4)));
        const VU advanced = hn::Add(grp.phase, hn::Mul(increment, hn::Set(du, static_cast<uint32_t>(n))));
        hn::Store(hn::IfThenElse(hn::RebindMask(du, moving), advanced, grp.phase), du, batch.phase + at);
    }
    noise(batch, noiseAt, noiseGroup, noiseMine, noiseVectors, n);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"
#include "synth/voice/oscillator.h"

WB_LANE_KERNEL_TABLE(OscLanesKernel)

namespace {

// A box-filtered shape's constants in lane j; `slopes` in the order of
// slopeA, slopeB, invF (see OscLanes).
void setShape(OscLanes& batch, int32_t j, bool tinyStep, float f, float bp, const float (&slopes)[3]) {
    batch.tinyStep[j] = tinyStep;
    batch.f[j] = f;
    batch.bp[j] = bp;
    batch.slopeA[j] = slopes[0];
    batch.slopeB[j] = slopes[1];
    batch.invF[j] = slopes[2];
}

}  // namespace

int32_t oscLanesMode(const Oscillator& osc) {
    const int32_t mode = osc.mode & 7;
    return mode <= 5 ? mode : 0;
}

void oscLanesSet(OscLanes& batch, int32_t j, const Oscillator& osc) {
    const int32_t mode = oscLanesMode(osc);
    batch.mode[j] = mode;
    batch.ring[j] = osc.ring & 1;
    batch.phase[j] = osc.phase;
    batch.increment[j] = osc.increment;
    batch.breakpoint[j] = osc.breakpoint;
    batch.gain[j] = osc.gain;
    batch.noiseFreq[j] = osc.noiseFreq;
    batch.noiseDamp[j] = osc.noiseDamp;
    batch.noiseSeed[j] = osc.noiseSeed;
    batch.noiseLow[j] = osc.noiseLow;
    batch.noiseBand[j] = osc.noiseBand;
    if (mode == 1) {
        const TriSawShape s = triSawShape(osc);
        batch.breakpoint[j] = s.breakpoint;
        setShape(batch, j, s.tinyStep, s.f, s.bp, {s.A, s.B, s.invF});
    } else if (mode == 2) {
        const PulseShape s = pulseShape(osc);
        setShape(batch, j, s.tinyStep, s.f, s.bp, {s.gOverF, s.X0, s.X1});
    }
}

void oscLanesKeep(const OscLanes& batch, int32_t j, Oscillator& osc) {
    osc.phase = batch.phase[j];
    osc.noiseSeed = batch.noiseSeed[j];
    osc.noiseLow = batch.noiseLow[j];
    osc.noiseBand = batch.noiseBand[j];
}

void oscLanesProcess(OscLanes& batch, float* samples, int32_t n) {
    wembrastel::OscLanesKernelTargets[laneTargetSlot()](batch, samples, n);
}
#endif
