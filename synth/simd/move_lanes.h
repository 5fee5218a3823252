#pragma once
// Lane-major rows with their lanes moved among themselves, on the chosen SIMD
// target: values are copied, never computed.
#include <cstdint>

constexpr int32_t moveLaneCapacity = 64;

// In each of n rows of `lanes` floats (a multiple of 16, at most
// moveLaneCapacity), lane j takes what lane source[j] held, for j < count;
// lanes from count on keep theirs.
void moveLanesProcess(float* rows, int32_t lanes, const int32_t* source, int32_t count, int32_t n);
