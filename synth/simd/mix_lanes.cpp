// Compiled once per SIMD target; the chosen one runs (lane_targets.h).
#include "synth/simd/mix_lanes.h"
#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "synth/simd/mix_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>
#include "synth/simd/packed_rows-inl.h"

HWY_BEFORE_NAMESPACE();
namespace wembrastel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Products of a few rows, lane-major: row r's lane j at r * width + j.
constexpr size_t rowsPerBlock = 4;
constexpr size_t widestLanes = 64 / sizeof(float);

struct RowBlock {
    HWY_ALIGN float left[rowsPerBlock * widestLanes];
    HWY_ALIGN float right[rowsPerBlock * widestLanes];
};

// Lanes offset..offset+used-1 of a block of `rows` rows, interleaved into
// their stereo rows (the first at out), one lane at a time.
void interleaveLanes(const RowBlock& block, size_t width, size_t offset, size_t used, size_t rows,
                     float* out, size_t stereoStride) {
    for (size_t j = 0; j < used; ++j, out += stereoStride) {
        for (size_t r = 0; r < rows; ++r) {
            out[2 * r] = block.left[r * width + offset + j];
            out[2 * r + 1] = block.right[r * width + offset + j];
        }
    }
}

#if HWY_TARGET != HWY_SCALAR
// Four rows of lanes offset..offset+3 of a block, transposed into their
// stereo rows (the first at out):
// 32-bit interleaves pair each left with its right, 64-bit ones put a
// lane's pairs of consecutive rows together.
void transposeFour(const RowBlock& block, size_t width, size_t offset, float* out, size_t stereoStride) {
    const hn::Full128<float> d;
    const hn::Repartition<uint64_t, decltype(d)> d64;
    using V64 = hn::Vec<decltype(d64)>;
    V64 lowPairs[rowsPerBlock], highPairs[rowsPerBlock];
    for (size_t r = 0; r < rowsPerBlock; ++r) {
        const auto left = hn::Load(d, block.left + r * width + offset);
        const auto right = hn::Load(d, block.right + r * width + offset);
        lowPairs[r] = hn::BitCast(d64, hn::InterleaveLower(left, right));
        highPairs[r] = hn::BitCast(d64, hn::InterleaveUpper(d, left, right));
    }
    const V64* pairs[2] = {lowPairs, highPairs};
    for (size_t half = 0; half < 2; ++half) {
        const V64* p = pairs[half];
        float* even = out + (2 * half) * stereoStride;
        float* odd = even + stereoStride;
        hn::StoreU(hn::BitCast(d, hn::InterleaveLower(p[0], p[1])), d, even);
        hn::StoreU(hn::BitCast(d, hn::InterleaveLower(p[2], p[3])), d, even + 4);
        hn::StoreU(hn::BitCast(d, hn::InterleaveUpper(d64, p[0], p[1])), d, odd);
        hn::StoreU(hn::BitCast(d, hn::InterleaveUpper(d64, p[2], p[3])), d, odd + 4);
    }
}
#endif

// Any count of lanes, one row (sample) per vector, through a RowBlock.
void mixByRows(MixLanes& batch, const float* samples, float* stereo, int32_t n) {
    const hn::ScalableTag<float> d;
    const size_t width = hn::Lanes(d);
    const size_t lanes = static_cast<size_t>(batch.lanes);
    const size_t count = static_cast<size_t>(batch.count);
    const size_t stride = static_cast<size_t>(batch.rowStride);
    const size_t stereoStride = static_cast<size_t>(batch.stereoStride);
    RowBlock block;
    for (size_t at = 0; at < lanes; at += width) {
        auto amp = hn::Load(d, batch.amp + at);
        const auto step = hn::Load(d, batch.step + at);
        const auto gainLeft = hn::Load(d, batch.gainLeft + at);
        const auto gainRight = hn::Load(d, batch.gainRight + at);
        const size_t used = at < count ? std::min(width, count - at) : 0;
        for (size_t k = 0; k < static_cast<size_t>(n); k += rowsPerBlock) {
            const size_t rows = std::min(rowsPerBlock, static_cast<size_t>(n) - k);
            for (size_t r = 0; r < rows; ++r) {
                const auto s = hn::Mul(hn::LoadU(d, samples + (k + r) * stride + at), amp);
                amp = hn::Add(amp, step);
                hn::Store(hn::Mul(s, gainLeft), d, block.left + r * width);
                hn::Store(hn::Mul(s, gainRight), d, block.right + r * width);
            }
            size_t done = 0;
#if HWY_TARGET != HWY_SCALAR
            if (rows == rowsPerBlock)
                for (; done + 4 <= used; done += 4)
                    transposeFour(block, width, done, stereo + (at + done) * stereoStride + 2 * k, stereoStride);
#endif
            interleaveLanes(block, width, done, used - done, rows, stereo + (at + done) * stereoStride + 2 * k,
                            stereoStride);
        }
        hn::Store(amp, d, batch.amp + at);
    }
}

#if HWY_TARGET != HWY_SCALAR && HWY_MAX_BYTES >= 32
// Up to four voices, whose rows fill only a quarter of a 16-lane vector or
// half of an 8-lane one, packed instead: a vector holds lanes 0..3 of
// `packedRows` consecutive rows.
using DPacked = hn::ScalableTag<float>;
constexpr size_t packedRows = hn::MaxLanes(DPacked()) / 4;

// Lanes 0..3 of packedRows rows, voice by voice: voices 0 and 1 in the lower
// half, 2 and 3 in the upper, each 128-bit block two rows t, t + 1 of the
// pair as (v, t), (v, t + 1), (v + 1, t), (v + 1, t + 1). Interleaving a
// left and a right laid out so gives each voice's (L, R) pairs in row
// order: voices 0 and 2 from the blocks' lower lanes, 1 and 3 from their
// upper. Stride 0 spreads a setting of the four voices.
hn::Vec<DPacked> voiceMajor(const float* p, size_t stride) {
    const DPacked d;
    const hn::Half<DPacked> dh;
    const auto even = packedLoad(dh, p, 2 * stride);
    const auto odd = packedLoad(dh, p + stride, 2 * stride);
    return hn::Combine(d, hn::InterleaveUpper(dh, even, odd), hn::InterleaveLower(dh, even, odd));
}

// Where voiceMajor puts row 0 of voice v.
constexpr size_t firstRowLane(size_t v) { return v / 2 * 2 * packedRows + v % 2 * 2; }

// The rows a whole number of vectors cover, packed; returns how many. The
// ramp stays the one-row chain: voice v's lane of row t starts at its amp
// after t steps and advances by packedRows single steps, the same adds in
// the same order as row by row. Held notes mostly have every step zero, and
// adding a zero leaves any amp that has had one add as it is (only -0 + +0
// moves, to +0): then the adds, whose chain of latencies would bound the
// loop, stop after the first vector.
size_t mixPacked(MixLanes& batch, const float* samples, float* stereo, size_t n) {
    const DPacked d;
    const hn::Half<DPacked> dh;
    const size_t stride = static_cast<size_t>(batch.rowStride);
    const size_t stereoStride = static_cast<size_t>(batch.stereoStride);
    const size_t count = static_cast<size_t>(batch.count);
    // The first rows' amps row by row (row t at lanes 4 t..4 t + 3), then
    // laid out voice by voice.
    const auto rowStep = hn::LoadDup128(d, batch.step);
    auto rowAmps = hn::LoadDup128(d, batch.amp);
    for (size_t t = 1; t < packedRows; ++t)  // rows t and after take their t-th step
        rowAmps = hn::IfThenElse(hn::FirstN(d, 4 * t), rowAmps, hn::Add(rowAmps, rowStep));
    alignas(64) float ramp[hn::MaxLanes(DPacked())];
    hn::Store(rowAmps, d, ramp);
    auto amp = voiceMajor(ramp, 4);
    const auto step = voiceMajor(batch.step, 0);
    const auto gainLeft = voiceMajor(batch.gainLeft, 0);
    const auto gainRight = voiceMajor(batch.gainRight, 0);
    const bool held = hn::AllTrue(d, hn::Eq(step, hn::Zero(d)));
    const size_t rows = n - n % packedRows;
    float* out[4];
    for (size_t v = 0; v < 4; ++v) out[v] = stereo + v * stereoStride;
    for (size_t k = 0; k < rows; k += packedRows) {
        const auto s = hn::Mul(voiceMajor(samples + k * stride, stride), amp);
        if (k == 0 || !held)
            for (size_t t = 0; t < packedRows; ++t) amp = hn::Add(amp, step);
        const auto left = hn::Mul(s, gainLeft);
        const auto right = hn::Mul(s, gainRight);
        const auto evenVoices = hn::InterleaveLower(d, left, right);
        const auto oddVoices = hn::InterleaveUpper(d, left, right);
        const hn::Vec<decltype(dh)> pairs[4] = {hn::LowerHalf(dh, evenVoices), hn::LowerHalf(dh, oddVoices),
                                                hn::UpperHalf(dh, evenVoices), hn::UpperHalf(dh, oddVoices)};
        for (size_t v = 0; v < count; ++v) hn::StoreU(pairs[v], dh, out[v] + 2 * k);
    }
    hn::Store(amp, d, ramp);
    for (size_t v = 0; v < 4; ++v) batch.amp[v] = ramp[firstRowLane(v)];  // row `rows`'s amps
    return rows;
}
#endif

void MixLanesKernel(MixLanes& batch, const float* samples, float* stereo, int32_t n) {
    size_t done = 0;
#if HWY_TARGET != HWY_SCALAR && HWY_MAX_BYTES >= 32
    if (batch.count <= 4) done = mixPacked(batch, samples, stereo, static_cast<size_t>(n));
#endif
    if (done < static_cast<size_t>(n))
        mixByRows(batch, samples + done * static_cast<size_t>(batch.rowStride), stereo + 2 * done,
                  n - static_cast<int32_t>(done));
}

}  // namespace HWY_NAMESPACE
}  // namespace wembrastel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "synth/simd/lane_targets.h"

WB_LANE_KERNEL_TABLE(MixLanesKernel)

void mixLanesProcess(MixLanes& batch, const float* samples, float* stereo, int32_t n) {
    wembrastel::MixLanesKernelTargets[laneTargetSlot()](batch, samples, stereo, n);
}
#endif
