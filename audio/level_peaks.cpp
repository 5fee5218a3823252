#include "audio/level_peaks.h"
#include <algorithm>
#include <cstdlib>

namespace {
void raiseTo(std::atomic<uint32_t>& peak, uint32_t value) {
    uint32_t seen = peak.load(std::memory_order_relaxed);
    while (value > seen && !peak.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

uint32_t magnitudeAt(const uint8_t* p) {
    const int32_t sample = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    return static_cast<uint32_t>(std::abs(sample));
}
}  // namespace

void levelPeaksAdd(LevelPeaks& peaks, const uint8_t* pcm, uint32_t frames) {
    uint32_t left = 0, right = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        left = std::max(left, magnitudeAt(pcm + 4 * i));
        right = std::max(right, magnitudeAt(pcm + 4 * i + 2));
    }
    raiseTo(peaks.left, left);
    raiseTo(peaks.right, right);
}

void levelPeaksTake(LevelPeaks& peaks, uint32_t& left, uint32_t& right) {
    left = peaks.left.exchange(0, std::memory_order_relaxed);
    right = peaks.right.exchange(0, std::memory_order_relaxed);
}
