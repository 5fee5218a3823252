// Compiled once per SIMD target; reverbLanesProcess runs the chosen one.
//
// A frame goes through in blocks of 32 samples. Every comb line is longer
// than the longest frame, so a block's combs read only values stored before
// the frame: their inputs are formed along time and interleaved four combs
// to a sample, the recursion runs with one side's four combs in one vector,
// and the states go back to the lines with their sums. The all-passes have
// no recursion within a stretch shorter than their lines, so they run along
// time. The output high-pass of a block runs in the same loop as the next
// block's combs: two independent recursions, each hiding the other's latency.
#include "synth/simd/reverb_lanes.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/reverb_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
namespace {

constexpr int32_t reverbBlock = 32;

// One side's six lines (four combs, two all-passes) and their positions.
struct SideLines {
    float* data[6];
    int32_t length[6];
    int32_t pos[6];
};

// One side's work on one block: rows[4 i + k] is comb k's input at sample
// i, then its state; out is the comb sum, then the all-passes' output.
// high is the output high-pass's state at each sample.
struct SideBlock {
    alignas(64) float rows[4 * reverbBlock];
    alignas(64) float out[reverbBlock];
    alignas(64) float high[reverbBlock];
};

SideLines bindLines(Reverb& r, int32_t side) {
    SideLines s{};
    for (int32_t k = 0; k < 6; ++k) {
        const int32_t line = side * 6 + k;
        s.data[k] = reverbLine(r, line);
        s.length[k] = reverbLineLengths[line];
        s.pos[k] = r.index[line];
    }
    return s;
}

// Calls run(i, count) for the stretches of [0, m) in which none of lines
// first..last - 1 wraps, moving their positions on after each.
template <class Run>
void bySegments(SideLines& s, int32_t first, int32_t last, int32_t m, Run run) {
    for (int32_t i = 0; i < m;) {
        int32_t count = m - i;
        for (int32_t k = first; k < last; ++k)
            count = count < s.length[k] - s.pos[k] ? count : s.length[k] - s.pos[k];
        run(i, count);
        for (int32_t k = first; k < last; ++k) {
            s.pos[k] += count;
            if (s.pos[k] == s.length[k]) s.pos[k] = 0;
        }
        i += count;
    }
}

// All lanes' bits of a value that underflowed (see reverbUnderflow).
template <class D>
hn::Vec<hn::RebindToSigned<D>> underflowBits(D /*d*/, hn::Vec<D> v) {
    const hn::RebindToSigned<D> di;
    const auto a = hn::And(hn::BitCast(di, v), hn::Set(di, 0x7FFFFFFF));
    return hn::VecFromMask(di, hn::And(hn::Gt(a, hn::Zero(di)), hn::Lt(a, hn::Set(di, 0x00800000))));
}

template <class D>
uint32_t anyBits(D /*d*/, hn::Vec<hn::RebindToSigned<D>> bits) {
    const hn::RebindToSigned<D> di;
    return hn::AllFalse(di, hn::Ne(bits, hn::Zero(di))) ? 0u : 1u;
}

// Comb inputs line x gain +- x (the input enters combs 2 and 4 inverted)
// for samples j..count - 1 of a stretch, in whole vectors; returns where it
// stopped.
template <class D>
int32_t gatherCombs(D d, const float* const line[4], const float* gain, const float* x,
                    float* rows, int32_t j, int32_t count) {
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    for (; j + w <= count; j += w) {
        const auto in = hn::LoadU(d, x + j);
        const auto u0 = hn::Add(hn::Mul(hn::LoadU(d, line[0] + j), hn::Set(d, gain[0])), in);
        const auto u1 = hn::Sub(hn::Mul(hn::LoadU(d, line[1] + j), hn::Set(d, gain[1])), in);
        const auto u2 = hn::Add(hn::Mul(hn::LoadU(d, line[2] + j), hn::Set(d, gain[2])), in);
        const auto u3 = hn::Sub(hn::Mul(hn::LoadU(d, line[3] + j), hn::Set(d, gain[3])), in);
        hn::StoreInterleaved4(u0, u1, u2, u3, d, rows + 4 * j);
    }
    return j;
}

// Comb states back into their lines and their sum, in comb order.
template <class D>
int32_t scatterCombs(D d, float* const line[4], const float* rows, float* sum, int32_t j,
                     int32_t count, uint32_t& underflow) {
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    auto bits = hn::Zero(hn::RebindToSigned<D>());
    for (; j + w <= count; j += w) {
        hn::Vec<D> v0, v1, v2, v3;
        hn::LoadInterleaved4(d, rows + 4 * j, v0, v1, v2, v3);
        hn::StoreU(v0, d, line[0] + j);
        hn::StoreU(v1, d, line[1] + j);
        hn::StoreU(v2, d, line[2] + j);
        hn::StoreU(v3, d, line[3] + j);
        bits = hn::Or(bits, hn::Or(hn::Or(underflowBits(d, v0), underflowBits(d, v1)),
                                   hn::Or(underflowBits(d, v2), underflowBits(d, v3))));
        hn::StoreU(hn::Add(hn::Add(hn::Add(v0, v1), v2), v3), d, sum + j);
    }
    underflow |= anyBits(d, bits);
    return j;
}

// One all-pass over a stretch no longer than its line: every value read was
// stored before the stretch, so there is no recursion within it.
template <class D>
int32_t allpassStretch(D d, float* line, float gain, float* a, int32_t j, int32_t count,
                       uint32_t& underflow) {
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    const auto g = hn::Set(d, gain);
    auto bits = hn::Zero(hn::RebindToSigned<D>());
    for (; j + w <= count; j += w) {
        const auto b = hn::LoadU(d, line + j);
        const auto v = hn::Add(hn::LoadU(d, a + j), hn::Mul(g, b));
        hn::StoreU(v, d, line + j);
        bits = hn::Or(bits, underflowBits(d, v));
        hn::StoreU(hn::Sub(b, hn::Mul(g, v)), d, a + j);
    }
    underflow |= anyBits(d, bits);
    return j;
}

// The comb inputs of one side's block of m samples; the positions stay.
void combInputs(const Reverb& r, SideLines s, const float* x, SideBlock& work, int32_t m) {
    const hn::ScalableTag<float> d;
    const hn::CappedTag<float, 4> d4;
    const hn::CappedTag<float, 1> d1;
    bySegments(s, 0, 4, m, [&](int32_t i, int32_t count) {
        const float* line[4];
        for (int32_t k = 0; k < 4; ++k) line[k] = s.data[k] + s.pos[k];
        float* rows = work.rows + 4 * i;
        int32_t j = gatherCombs(d, line, r.combGain, x + i, rows, 0, count);
        j = gatherCombs(d4, line, r.combGain, x + i, rows, j, count);
        gatherCombs(d1, line, r.combGain, x + i, rows, j, count);
    });
}

// The comb states into the lines, then the sums through the all-passes.
uint32_t combOutputs(const Reverb& r, SideLines& s, SideBlock& work, int32_t m) {
    const hn::ScalableTag<float> d;
    const hn::CappedTag<float, 4> d4;
    const hn::CappedTag<float, 1> d1;
    uint32_t underflow = 0;
    bySegments(s, 0, 4, m, [&](int32_t i, int32_t count) {
        float* line[4];
        for (int32_t k = 0; k < 4; ++k) line[k] = s.data[k] + s.pos[k];
        const float* rows = work.rows + 4 * i;
        int32_t j = scatterCombs(d, line, rows, work.out + i, 0, count, underflow);
        j = scatterCombs(d4, line, rows, work.out + i, j, count, underflow);
        scatterCombs(d1, line, rows, work.out + i, j, count, underflow);
    });
    for (int32_t k = 4; k < 6; ++k) {
        bySegments(s, k, k + 1, m, [&](int32_t i, int32_t count) {
            float* line = s.data[k] + s.pos[k];
            const float g = r.allpassGain[k - 4];
            int32_t j = allpassStretch(d, line, g, work.out + i, 0, count, underflow);
            j = allpassStretch(d4, line, g, work.out + i, j, count, underflow);
            allpassStretch(d1, line, g, work.out + i, j, count, underflow);
        });
    }
    return underflow;
}

// The output high-pass's recursion over samples from..to of a finished
// block's sides; only the recursion, so that it costs the loop it shares
// with the combs little more than its latency.
inline void lowCutSamples(SideBlock* block, float (&h)[2], float lowCut, int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) {
        for (int32_t side = 0; side < 2; ++side) {
            const float a = block[side].out[i];
            h[side] = h[side] + (a - h[side]) * lowCut;
            block[side].high[i] = h[side];
        }
    }
}

// A finished block's high-passed output (input minus state) added into the
// mix; returns the underflow flags of the states and the mix.
template <class D>
uint32_t lowCutIntoMix(D d, const SideBlock* block, float* mix, int32_t count) {
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    auto bits = hn::Zero(hn::RebindToSigned<D>());
    int32_t i = 0;
    for (; i + w <= count; i += w) {
        const auto hl = hn::Load(d, block[0].high + i), hr = hn::Load(d, block[1].high + i);
        hn::Vec<D> left, right;
        hn::LoadInterleaved2(d, mix + 2 * i, left, right);
        left = hn::Add(left, hn::Sub(hn::Load(d, block[0].out + i), hl));
        right = hn::Add(right, hn::Sub(hn::Load(d, block[1].out + i), hr));
        hn::StoreInterleaved2(left, right, d, mix + 2 * i);
        bits = hn::Or(bits, hn::Or(hn::Or(underflowBits(d, hl), underflowBits(d, hr)),
                                   hn::Or(underflowBits(d, left), underflowBits(d, right))));
    }
    uint32_t underflow = anyBits(d, bits);
    for (; i < count; ++i) {
        for (int32_t side = 0; side < 2; ++side) {
            const float h = block[side].high[i];
            mix[2 * i + side] += block[side].out[i] - h;
            underflow |= reverbUnderflow(h) | reverbUnderflow(mix[2 * i + side]);
        }
    }
    return underflow;
}

}  // namespace

void ReverbLanesKernel(Reverb& r, const float* bus, float* mainMix, int32_t n) {
    const hn::ScalableTag<float> d;
    const hn::CappedTag<float, 4> d4;
    using V4 = hn::Vec<decltype(d4)>;
    const int32_t w4 = static_cast<int32_t>(hn::Lanes(d4));
    const int32_t groups = 4 / w4;
    SideLines lines[2] = {bindLines(r, 0), bindLines(r, 1)};
    V4 state[2][4];
    for (int32_t side = 0; side < 2; ++side)
        for (int32_t g = 0; g < groups; ++g) state[side][g] = hn::LoadU(d4, r.combState + 4 * side + g * w4);
    const V4 damp = hn::Set(d4, r.damp);
    float h[2] = {r.lowCutState[0], r.lowCutState[1]};
    SideBlock work[2][2];  // by block parity, then side
    alignas(64) float x[reverbBlock];
    uint32_t underflow = 0;
    SideBlock* pending = nullptr;  // the block whose high-pass is still to run
    int32_t pendingStart = 0, pendingCount = 0;
    const float lowCut = r.lowCut;  // a local: the loop's stores may not reload it
    auto finishPending = [&](int32_t from, int32_t to) { lowCutSamples(pending, h, lowCut, from, to); };
    for (int32_t start = 0; start < n; start += reverbBlock) {
        const int32_t m = n - start < reverbBlock ? n - start : reverbBlock;
        SideBlock* now = work[(start / reverbBlock) & 1];
        for (int32_t i = 0; i < m; ++i) x[i] = bus[start + i] * r.inGain;
        for (int32_t side = 0; side < 2; ++side) combInputs(r, lines[side], x, now[side], m);
        auto combStep = [&](int32_t i) {
            for (int32_t side = 0; side < 2; ++side) {
                for (int32_t g = 0; g < groups; ++g) {
                    float* row = now[side].rows + 4 * i + g * w4;
                    V4& s = state[side][g];
                    s = hn::Add(s, hn::Mul(hn::Sub(hn::Load(d4, row), s), damp));
                    hn::Store(s, d4, row);
                }
            }
        };
        const int32_t both = pendingCount < m ? pendingCount : m;
        for (int32_t i = 0; i < both; ++i) {
            combStep(i);
            finishPending(i, i + 1);
        }
        for (int32_t i = both; i < m; ++i) combStep(i);
        if (pending) {
            finishPending(both, pendingCount);
            underflow |= lowCutIntoMix(d, pending, mainMix + 2 * pendingStart, pendingCount);
        }
        for (int32_t side = 0; side < 2; ++side) underflow |= combOutputs(r, lines[side], now[side], m);
        pending = now;
        pendingStart = start;
        pendingCount = m;
    }
    if (pending) {
        finishPending(0, pendingCount);
        underflow |= lowCutIntoMix(d, pending, mainMix + 2 * pendingStart, pendingCount);
    }
    for (int32_t side = 0; side < 2; ++side) {
        for (int32_t k = 0; k < 6; ++k) r.index[side * 6 + k] = lines[side].pos[k];
        for (int32_t g = 0; g < groups; ++g) hn::StoreU(state[side][g], d4, r.combState + 4 * side + g * w4);
        r.lowCutState[side] = h[side];
    }
    if (underflow != 0) reverbClear(r);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(ReverbLanesKernel)

void reverbLanesProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n) {
    wembrastel::ReverbLanesKernelTargets[laneTargetSlot()](reverb, bus, mainMix, n);
}
#endif
