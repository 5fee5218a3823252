// Compiled once per SIMD target; reverbLanesProcess runs the chosen one.
//
// A frame goes through in blocks of up to reverbMirror samples. Behind each
// line lies a mirror of its first reverbMirror values, so a block reaches
// every line as one stretch without a wrap; after the block, whichever copy
// it wrote is copied over the other. Every line is longer than a block, so a
// block reads only values stored before it: the comb inputs are formed along
// time and interleaved four combs to a sample, the recursion runs with one
// side's four combs in one vector, and the states go back to the lines with
// their sums, then through the all-passes along time. The output high-pass
// of a block runs in the same loop as the next block's combs: two
// independent recursions, each hiding the other's latency.
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

constexpr int32_t reverbBlock = reverbMirror;
static_assert(reverbLineLengths[5] >= 2 * reverbBlock && reverbLineLengths[11] >= 2 * reverbBlock,
              "a block writes one end of a line at most");

using D = hn::ScalableTag<float>;
using D4 = hn::CappedTag<float, 4>;
using D1 = hn::CappedTag<float, 1>;
template <class Tag>
using Bits = hn::Vec<hn::RebindToSigned<Tag>>;

// Comb rows (four combs of one sample) a whole vector holds; when a
// vector is narrower than a row, 1.
constexpr int32_t samplesPerVector = hn::MaxLanes(D()) >= 4 ? static_cast<int32_t>(hn::MaxLanes(D())) / 4 : 1;

// Four-lane rows side by side in one vector, the first lowest.
template <int32_t count>
hn::Vec<hn::CappedTag<float, 4 * count>> joinedRows(const hn::Vec<D4>* rows) {
#if HWY_TARGET != HWY_SCALAR
    if constexpr (count > 1) {
        const hn::CappedTag<float, 4 * count> whole;
        return hn::Combine(whole, joinedRows<count / 2>(rows + count / 2), joinedRows<count / 2>(rows));
    } else {
        return rows[0];
    }
#else
    return rows[0];
#endif
}

hn::Vec<D> joined(const hn::Vec<D4> (&rows)[samplesPerVector]) { return joinedRows<samplesPerVector>(rows); }

// One side's six lines (four combs, two all-passes) and their positions.
struct SideLines {
    float* data[6];
    int32_t length[6];
    int32_t pos[6];
};

// One side's work on one block: rows[4 i + k] is comb k's input at sample
// i, then its state; out is the all-passes' output, high the output
// high-pass's state at each sample.
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

// reverbBlock values from one end of a line to the other, inline: as a
// library call it costs more than the copy.
void copyBlock(const float* from, float* to) {
    const D d;
    for (size_t j = 0; j < reverbBlock; j += hn::Lanes(d)) hn::StoreU(hn::LoadU(d, from + j), d, to + j);
}

// The mirrors of a side's lines as the lines' starts: whatever wrote the
// lines before (the scalar engine, say) left the mirrors alone.
void refreshMirrors(const SideLines& s) {
    for (int32_t k = 0; k < 6; ++k) copyBlock(s.data[k], s.data[k] + s.length[k]);
}

// After a block of m samples from the lines' positions: the copy of each
// line's first reverbBlock values the block wrote (the mirror behind the
// end, or the start) over the other, and the positions moved on.
void advanceLines(SideLines& s, int32_t m) {
    for (int32_t k = 0; k < 6; ++k) {
        float* line = s.data[k];
        const int32_t length = s.length[k], pos = s.pos[k];
        if (pos + m > length) copyBlock(line + length, line);
        else if (pos < reverbBlock) copyBlock(line, line + length);
        s.pos[k] = pos + m >= length ? pos + m - length : pos + m;
    }
}

// All lanes' bits of a value that underflowed (see reverbUnderflow).
template <class Tag>
Bits<Tag> underflowBits(Tag /*d*/, hn::Vec<Tag> v) {
    const hn::RebindToSigned<Tag> di;
    const auto a = hn::And(hn::BitCast(di, v), hn::Set(di, 0x7FFFFFFF));
    return hn::VecFromMask(di, hn::And(hn::Gt(a, hn::Zero(di)), hn::Lt(a, hn::Set(di, 0x00800000))));
}

template <class Tag>
uint32_t anyBits(Tag /*d*/, Bits<Tag> bits) {
    const hn::RebindToSigned<Tag> di;
    return hn::AllFalse(di, hn::Ne(bits, hn::Zero(di))) ? 0u : 1u;
}

// Runs step(tag, j, bits) over samples 0..m - 1 of a block: whole vectors
// into the frame's bits, then the rest in narrower ones (only at the end of
// a frame whose length is no multiple of the vector), folded into tail.
template <class Step>
void acrossBlock(int32_t m, Bits<D>& bits, uint32_t& tail, Step step) {
    const int32_t j = step(D(), 0, bits);
    if (j == m) return;
    Bits<D4> bits4 = hn::Zero(hn::RebindToSigned<D4>());
    Bits<D1> bits1 = hn::Zero(hn::RebindToSigned<D1>());
    step(D1(), step(D4(), j, bits4), bits1);
    tail |= anyBits(D4(), bits4) | anyBits(D1(), bits1);
}

// Comb inputs line x gain +- bus x inGain (the input enters combs 2 and 4
// inverted), interleaved four combs to a sample, for samples j..count - 1
// in whole vectors; returns where it stopped.
template <class Tag>
int32_t gatherCombs(Tag d, const float* const line[4], const Reverb& r, const float* bus, float* rows,
                    int32_t j, int32_t count) {
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    const auto inGain = hn::Set(d, r.inGain);
    for (; j + w <= count; j += w) {
        const auto in = hn::Mul(hn::LoadU(d, bus + j), inGain);
        const auto u0 = hn::Add(hn::Mul(hn::LoadU(d, line[0] + j), hn::Set(d, r.combGain[0])), in);
        const auto u1 = hn::Sub(hn::Mul(hn::LoadU(d, line[1] + j), hn::Set(d, r.combGain[1])), in);
        const auto u2 = hn::Add(hn::Mul(hn::LoadU(d, line[2] + j), hn::Set(d, r.combGain[2])), in);
        const auto u3 = hn::Sub(hn::Mul(hn::LoadU(d, line[3] + j), hn::Set(d, r.combGain[3])), in);
        hn::StoreInterleaved4(u0, u1, u2, u3, d, rows + 4 * j);
    }
    return j;
}

// One all-pass step over a vector of samples: every value it reads was
// stored before the block, so there is no recursion within it.
template <class Tag>
hn::Vec<Tag> allpass(Tag d, float* line, float gain, hn::Vec<Tag> a, Bits<Tag>& bits) {
    const auto g = hn::Set(d, gain);
    const auto b = hn::LoadU(d, line);
    const auto v = hn::Add(a, hn::Mul(g, b));
    hn::StoreU(v, d, line);
    bits = hn::Or(bits, underflowBits(d, v));
    return hn::Sub(b, hn::Mul(g, v));
}

// The comb states back into their lines, their sum in comb order, through
// both all-passes into out, for samples j..count - 1 in whole vectors.
template <class Tag>
int32_t combsThroughAllpasses(Tag d, float* const line[6], const Reverb& r, SideBlock& work, int32_t j,
                              int32_t count, Bits<Tag>& bits) {
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    for (; j + w <= count; j += w) {
        hn::Vec<Tag> v0, v1, v2, v3;
        hn::LoadInterleaved4(d, work.rows + 4 * j, v0, v1, v2, v3);
        hn::StoreU(v0, d, line[0] + j);
        hn::StoreU(v1, d, line[1] + j);
        hn::StoreU(v2, d, line[2] + j);
        hn::StoreU(v3, d, line[3] + j);
        bits = hn::Or(bits, hn::Or(hn::Or(underflowBits(d, v0), underflowBits(d, v1)),
                                   hn::Or(underflowBits(d, v2), underflowBits(d, v3))));
        auto a = hn::Add(hn::Add(hn::Add(v0, v1), v2), v3);
        a = allpass(d, line[4] + j, r.allpassGain[0], a, bits);
        a = allpass(d, line[5] + j, r.allpassGain[1], a, bits);
        hn::Store(a, d, work.out + j);
    }
    return j;
}

// The output high-pass's recursion at sample i of a finished block's sides;
// only the recursion, so that it costs the loop it shares with the combs
// little more than its latency.
inline void lowCutSample(SideBlock* block, float (&h)[2], float lowCut, int32_t i) {
    for (int32_t side = 0; side < 2; ++side) {
        const float a = block[side].out[i];
        h[side] = h[side] + (a - h[side]) * lowCut;
        block[side].high[i] = h[side];
    }
}

// A finished block's high-passed output (input minus state) added into the
// mix, with the underflow flags of the states and the mix; then, given, the
// returns that follow the reverb's (after: as the mix, from the same pair).
template <class Tag>
int32_t lowCutIntoMix(Tag d, const SideBlock* block, float* mix, const float* after, int32_t j, int32_t count,
                      Bits<Tag>& bits) {
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    for (; j + w <= count; j += w) {
        const auto hl = hn::LoadU(d, block[0].high + j), hr = hn::LoadU(d, block[1].high + j);
        hn::Vec<Tag> left, right;
        hn::LoadInterleaved2(d, mix + 2 * j, left, right);
        left = hn::Add(left, hn::Sub(hn::LoadU(d, block[0].out + j), hl));
        right = hn::Add(right, hn::Sub(hn::LoadU(d, block[1].out + j), hr));
        bits = hn::Or(bits, hn::Or(hn::Or(underflowBits(d, hl), underflowBits(d, hr)),
                                   hn::Or(underflowBits(d, left), underflowBits(d, right))));
        if (after) {
            hn::Vec<Tag> afterLeft, afterRight;
            hn::LoadInterleaved2(d, after + 2 * j, afterLeft, afterRight);
            left = hn::Add(left, afterLeft);
            right = hn::Add(right, afterRight);
        }
        hn::StoreInterleaved2(left, right, d, mix + 2 * j);
    }
    return j;
}

// Whether every sample of the frame enters the combs as a zero.
bool zeroInput(const Reverb& r, const float* bus, int32_t n) {
    const D d;
    const int32_t w = static_cast<int32_t>(hn::Lanes(d));
    const auto inGain = hn::Set(d, r.inGain);
    int32_t i = 0;
    for (; i + w <= n; i += w)
        if (!hn::AllTrue(d, hn::Eq(hn::Mul(hn::LoadU(d, bus + i), inGain), hn::Zero(d)))) return false;
    for (; i < n; ++i)
        if (bus[i] * r.inGain != 0.0f) return false;
    return true;
}

// A silent network's block: outputs and high-pass states of +0.
const SideBlock silence[2] = {};

// A frame of zeros through a silent network, as the whole loop would run
// it: every value it stores is +0, so only the positions move on, and each
// block's mix step (the +0 outputs into the mix, the guard's flags, the
// returns after) runs over the silent block.
void silentFrame(Reverb& r, float* mainMix, int32_t n, const ReverbFollowers& followers) {
    Bits<D> bits = hn::Zero(hn::RebindToSigned<D>());
    uint32_t tail = 0;
    for (int32_t start = 0; start < n; start += reverbBlock) {
        const int32_t m = n - start < reverbBlock ? n - start : reverbBlock;
        float* mix = mainMix + 2 * start;
        const float* after = followers.returnsAfter ? followers.returnsAfter + 2 * start : nullptr;
        acrossBlock(m, bits, tail, [&](auto d, int32_t j, auto& b) {
            return lowCutIntoMix(d, silence, mix, after, j, m, b);
        });
    }
    if (followers.cut)
        for (int32_t i = 0; i < n; ++i) outputCutPair(*followers.cut, mainMix + 2 * i);
    for (int32_t k = 0; k < 12; ++k) r.index[k] = (r.index[k] + n) % reverbLineLengths[k];
    if ((anyBits(D(), bits) | tail) != 0) reverbClear(r);
}

}  // namespace

// With followers, a block's mix is whole once the block after it is
// high-passed; the output cut then runs over it beside the recursions of the
// block after that.
void ReverbLanesKernel(Reverb& r, const float* bus, float* mainMix, int32_t n, const ReverbFollowers& followers) {
    if (r.silent && zeroInput(r, bus, n)) return silentFrame(r, mainMix, n, followers);
    r.silent = false;
    const D4 d4;
    using V4 = hn::Vec<D4>;
    const int32_t w4 = static_cast<int32_t>(hn::Lanes(d4));
    const int32_t groups = 4 / w4;
    SideLines lines[2] = {bindLines(r, 0), bindLines(r, 1)};
    for (const SideLines& side : lines) refreshMirrors(side);
    V4 state[2][4];
    for (int32_t side = 0; side < 2; ++side)
        for (int32_t g = 0; g < groups; ++g) state[side][g] = hn::LoadU(d4, r.combState + 4 * side + g * w4);
    const V4 damp = hn::Set(d4, r.damp);
    float h[2] = {r.lowCutState[0], r.lowCutState[1]};
    SideBlock work[2][2];  // by block parity, then side
    Bits<D> bits = hn::Zero(hn::RebindToSigned<D>());
    uint32_t tail = 0;
    SideBlock* pending = nullptr;  // the block whose high-pass is still to run
    int32_t pendingStart = 0, pendingCount = 0;
    const float lowCut = r.lowCut;  // a local: the loop's stores may not reload it
    const float* after = followers.returnsAfter;
    OutputCut cut = followers.cut ? *followers.cut : OutputCut{};
    float* cutPairs = nullptr;  // the whole mix of the block before pending, still to cut
    int32_t cutCount = 0;
    // Sample i of the recursions that run beside the combs.
    auto besides = [&](int32_t i) {
        if (i < pendingCount) lowCutSample(pending, h, lowCut, i);
        if (i < cutCount) outputCutPair(cut, cutPairs + 2 * i);
    };
    auto mixPending = [&] {
        float* mix = mainMix + 2 * pendingStart;
        const float* pendingAfter = after ? after + 2 * pendingStart : nullptr;
        acrossBlock(pendingCount, bits, tail, [&](auto d, int32_t j, auto& b) {
            return lowCutIntoMix(d, pending, mix, pendingAfter, j, pendingCount, b);
        });
        if (followers.cut) {
            cutPairs = mix;
            cutCount = pendingCount;
        }
    };
    for (int32_t start = 0; start < n; start += reverbBlock) {
        const int32_t m = n - start < reverbBlock ? n - start : reverbBlock;
        SideBlock* now = work[(start / reverbBlock) & 1];
        for (int32_t side = 0; side < 2; ++side) {
            const float* line[4];
            for (int32_t k = 0; k < 4; ++k) line[k] = lines[side].data[k] + lines[side].pos[k];
            float* rows = now[side].rows;
            acrossBlock(m, bits, tail, [&](auto d, int32_t j, auto&) {
                return gatherCombs(d, line, r, bus + start, rows, j, m);
            });
        }
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
        // Where a vector holds several samples' rows, their states go back
        // a whole vector at once: stored a row at a time, they would reach
        // the all-passes' wide loads only through memory.
        auto combSteps = [&](int32_t i) {
            hn::Vec<D4> states[2][samplesPerVector];
            for (int32_t k = 0; k < samplesPerVector; ++k) {
                for (int32_t side = 0; side < 2; ++side) {
                    V4& s = state[side][0];
                    s = hn::Add(s, hn::Mul(hn::Sub(hn::Load(d4, now[side].rows + 4 * (i + k)), s), damp));
                    states[side][k] = s;
                }
                besides(i + k);
            }
            for (int32_t side = 0; side < 2; ++side) hn::Store(joined(states[side]), D(), now[side].rows + 4 * i);
        };
        int32_t i = 0;
        if constexpr (samplesPerVector > 1)
            for (; i + samplesPerVector <= m; i += samplesPerVector) combSteps(i);
        for (; i < m; ++i) {
            combStep(i);
            besides(i);
        }
        for (; i < pendingCount || i < cutCount; ++i) besides(i);
        cutCount = 0;
        if (pending) mixPending();
        for (int32_t side = 0; side < 2; ++side) {
            float* line[6];
            for (int32_t k = 0; k < 6; ++k) line[k] = lines[side].data[k] + lines[side].pos[k];
            SideBlock& block = now[side];
            acrossBlock(m, bits, tail, [&](auto d, int32_t j, auto& b) {
                return combsThroughAllpasses(d, line, r, block, j, m, b);
            });
            advanceLines(lines[side], m);
        }
        pending = now;
        pendingStart = start;
        pendingCount = m;
    }
    // The last block's high-pass beside the cut of the one before, then its
    // own cut.
    for (int32_t i = 0; i < pendingCount || i < cutCount; ++i) besides(i);
    cutCount = 0;
    if (pending) mixPending();
    for (int32_t i = 0; i < cutCount; ++i) outputCutPair(cut, cutPairs + 2 * i);
    if (followers.cut) *followers.cut = cut;
    for (int32_t side = 0; side < 2; ++side) {
        for (int32_t k = 0; k < 6; ++k) r.index[side * 6 + k] = lines[side].pos[k];
        for (int32_t g = 0; g < groups; ++g) hn::StoreU(state[side][g], d4, r.combState + 4 * side + g * w4);
        r.lowCutState[side] = h[side];
    }
    if ((anyBits(D(), bits) | tail) != 0) reverbClear(r);
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(ReverbLanesKernel)

void reverbLanesProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n,
                        const ReverbFollowers& followers) {
    wembrastel::ReverbLanesKernelTargets[laneTargetSlot()](reverb, bus, mainMix, n, followers);
}
#endif
