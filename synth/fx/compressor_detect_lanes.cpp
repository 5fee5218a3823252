#include "synth/fx/compressor_detect_lanes.h"
#include "synth/simd/detector_lanes.h"
#include "synth/simd/pair_lanes.h"

namespace {

constexpr int32_t detectBlock = 64;  // samples per pass through the lane rows
constexpr int32_t rmsMask = compressorRmsLength - 1;

bool linked(const Compressor& c) { return (c.mode & 2) == 0; }
bool rms(const Compressor& c) { return (c.mode & 1) != 0; }

// A linked detector runs on the mean of the sides in both of its lanes, the
// same steps on the same values; its left lane's state is the one kept.
DetectorLanes gatherStates(Compressor* const* units, int32_t count) {
    DetectorLanes batch{};
    batch.lanes = compressorLevelLanes(count);
    for (int32_t k = 0; k < count; ++k) {
        const Compressor& c = *units[k];
        const bool sum = rms(c);
        for (int32_t side = 0; side < 2; ++side) {
            batch.rms[2 * k + side] = sum ? 1 : 0;
            batch.inGain[2 * k + side] = c.inGain;
        }
        const bool second = !linked(c);
        batch.state[2 * k] = sum ? c.rmsSumL : c.peakL;
        batch.state[2 * k + 1] = second ? (sum ? c.rmsSumR : c.peakR) : batch.state[2 * k];
    }
    return batch;
}

void storeStates(const DetectorLanes& batch, Compressor* const* units, int32_t count, int32_t n) {
    for (int32_t k = 0; k < count; ++k) {
        Compressor& c = *units[k];
        float& left = rms(c) ? c.rmsSumL : c.peakL;
        float& right = rms(c) ? c.rmsSumR : c.peakR;
        left = batch.state[2 * k];
        if (!linked(c)) right = batch.state[2 * k + 1];
        if (rms(c)) c.rmsIndex = (c.rmsIndex + n) & rmsMask;
    }
}

// The detected samples of a block, lane-major.
void inputsToLanes(float* rows, int32_t lanes, Compressor* const* units, const float* const* buffers,
                   int32_t count, int32_t start, int32_t m) {
    pairsToLanes(rows, lanes, buffers, count, start, m);
    for (int32_t k = 0; k < count; ++k) {
        if (!linked(*units[k])) continue;
        for (int32_t i = 0; i < m; ++i) {
            float* pair = rows + i * lanes + 2 * k;
            pair[0] = pair[1] = (pair[0] + pair[1]) * 0.5f;
        }
    }
}

// The window slots of an RMS unit's block, lane-major (window to rows), or
// back (rows to window: the squares), a stretch up to the window's wrap at once.
template <bool linkedUnit, bool back>
void moveSlots(float* rows, int32_t lanes, Compressor& c, int32_t k, int32_t start, int32_t m) {
    for (int32_t i = 0; i < m;) {
        const int32_t index = (c.rmsIndex + start + i) & rmsMask;
        const int32_t count = m - i < compressorRmsLength - index ? m - i : compressorRmsLength - index;
        float* pair = rows + i * lanes + 2 * k;
        float* slot = linkedUnit ? c.rmsWindow + index : c.rmsWindow + 2 * index;
        for (int32_t j = 0; j < count; ++j, pair += lanes) {
            if constexpr (back && linkedUnit) {
                slot[j] = pair[0];
            } else if constexpr (back) {
                slot[2 * j] = pair[0], slot[2 * j + 1] = pair[1];
            } else if constexpr (linkedUnit) {
                pair[0] = pair[1] = slot[j];
            } else {
                pair[0] = slot[2 * j], pair[1] = slot[2 * j + 1];
            }
        }
        i += count;
    }
}

template <bool back>
void slotsOfUnits(float* rows, int32_t lanes, Compressor* const* units, int32_t count, int32_t start, int32_t m) {
    for (int32_t k = 0; k < count; ++k) {
        if (!rms(*units[k])) continue;
        if (linked(*units[k])) moveSlots<true, back>(rows, lanes, *units[k], k, start, m);
        else moveSlots<false, back>(rows, lanes, *units[k], k, start, m);
    }
}

// The lanes past the units, which no unit reads, hold zeros.
void clearSpareLanes(float* rows, int32_t lanes, int32_t count, int32_t m) {
    for (int32_t i = 0; i < m; ++i)
        for (int32_t j = 2 * count; j < lanes; ++j) rows[i * lanes + j] = 0.0f;
}

}  // namespace

void compressorDetectLanes(Compressor* const* units, const float* const* buffers, float* levelRows,
                           int32_t count, int32_t n) {
    DetectorLanes batch = gatherStates(units, count);
    const int32_t lanes = batch.lanes;
    alignas(64) float inputs[detectBlock * detectorLaneCapacity];
    alignas(64) float slots[detectBlock * detectorLaneCapacity];
    clearSpareLanes(inputs, lanes, count, detectBlock);
    clearSpareLanes(slots, lanes, 0, detectBlock);  // a peak unit's lanes too
    for (int32_t start = 0; start < n; start += detectBlock) {
        const int32_t m = n - start < detectBlock ? n - start : detectBlock;
        inputsToLanes(inputs, lanes, units, buffers, count, start, m);
        slotsOfUnits<false>(slots, lanes, units, count, start, m);
        detectorLanesProcess(batch, inputs, slots, levelRows + start * lanes, m);
        slotsOfUnits<true>(slots, lanes, units, count, start, m);
    }
    storeStates(batch, units, count, n);
    for (int32_t k = 0; k < count; ++k) {
        if (batch.failed[2 * k] == 0 && batch.failed[2 * k + 1] == 0) continue;
        for (int32_t i = 0; i < n; ++i) levelRows[i * lanes + 2 * k] = levelRows[i * lanes + 2 * k + 1] = 0.0f;
    }
}
