#pragma once
// Stereo buffers to lane-major rows and back: sample i of side s of buffer k
// at rows[i * lanes + 2 k + s], for a block of m samples from start. The lane
// kernels across channels gather and scatter through these, on the chosen
// SIMD target; values are copied, never computed.
#include <cstdint>

void pairsToLanes(float* rows, int32_t lanes, const float* const* buffers, int32_t count, int32_t start,
                  int32_t m);
void lanesToPairs(const float* rows, int32_t lanes, float* const* buffers, int32_t count, int32_t start,
                  int32_t m);
