#pragma once
// Stereo buffers to lane-major rows and back: sample i of side s of buffer k
// at rows[i * lanes + 2 k + s], for a block of m samples from start. The lane
// kernels across channels gather and scatter through these.
#include <cstdint>
#include <cstring>

inline void pairsToLanes(float* rows, int32_t lanes, const float* const* buffers, int32_t count,
                         int32_t start, int32_t m) {
    for (int32_t k = 0; k < count; ++k)
        for (int32_t i = 0; i < m; ++i)
            std::memcpy(rows + i * lanes + 2 * k, buffers[k] + 2 * (start + i), 2 * sizeof(float));
}

inline void lanesToPairs(const float* rows, int32_t lanes, float* const* buffers, int32_t count,
                         int32_t start, int32_t m) {
    for (int32_t k = 0; k < count; ++k)
        for (int32_t i = 0; i < m; ++i)
            std::memcpy(buffers[k] + 2 * (start + i), rows + i * lanes + 2 * k, 2 * sizeof(float));
}
