#pragma once
// Stereo buffers to lane-major rows and back: sample i of side s of buffer k
// at rows[i * lanes + 2 k + s], for a block of m samples from start. The lane
// kernels across channels gather and scatter through these.
#include <cstdint>
#include <cstring>

inline void pairsToLanes(float* rows, int32_t lanes, const float* const* buffers, int32_t count,
                         int32_t start, int32_t m) {
    for (int32_t k = 0; k < count; ++k) {
        const float* in = buffers[k] + 2 * start;  // read once: a copy may alias the pointer
        for (int32_t i = 0; i < m; ++i) std::memcpy(rows + i * lanes + 2 * k, in + 2 * i, 2 * sizeof(float));
    }
}

inline void lanesToPairs(const float* rows, int32_t lanes, float* const* buffers, int32_t count,
                         int32_t start, int32_t m) {
    for (int32_t k = 0; k < count; ++k) {
        float* out = buffers[k] + 2 * start;
        for (int32_t i = 0; i < m; ++i) std::memcpy(out + 2 * i, rows + i * lanes + 2 * k, 2 * sizeof(float));
    }
}
