#pragma once
// Buffers added element by element on the chosen SIMD target: each sum is
// the one a plain loop gives.
#include <cstdint>

// to[i] += from[i] for i < count.
void addLanesProcess(float* to, const float* from, int32_t count);
// to[i] += from[i] x gain for i < count.
void addScaledLanesProcess(float* to, const float* from, float gain, int32_t count);
// bus[i] += (stereo[2 i] + stereo[2 i + 1]) x gain for i < n: a stereo
// buffer's send into a mono bus.
void addSendLanesProcess(float* bus, const float* stereo, float gain, int32_t n);
