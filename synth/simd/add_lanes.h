#pragma once
// Buffers added element by element on the chosen SIMD target: each sum is
// the one a plain loop gives.
#include <cstdint>

// to[i] += from[i] for i < count.
void addLanesProcess(float* to, const float* from, int32_t count);
