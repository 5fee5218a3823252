#pragma once
// Float to 16-bit conversion of the sound output: scale, round to nearest
// even (out of range or NaN gives INT32_MIN), clamp to -32600..32600.
#include <cstdint>

int16_t floatToPcm16(float sample, float outputScale);
void convertToPcm16(const float* input, int16_t* output, uint32_t count, float outputScale);
