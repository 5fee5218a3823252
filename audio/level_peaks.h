#pragma once
// Peak levels of the samples the device has taken, per channel, for a level
// meter. The device side raises them; the reader takes and clears them.
// Lock-free on both sides.
#include <atomic>
#include <cstdint>

struct LevelPeaks {
    std::atomic<uint32_t> left{0};
    std::atomic<uint32_t> right{0};
};

// pcm: interleaved 16-bit little-endian stereo, left first.
void levelPeaksAdd(LevelPeaks& peaks, const uint8_t* pcm, uint32_t frames);
// The largest magnitudes (0..32768) since the previous take.
void levelPeaksTake(LevelPeaks& peaks, uint32_t& left, uint32_t& right);
