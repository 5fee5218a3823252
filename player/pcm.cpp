#include "player/pcm.h"
#include "synth/fp_mode.h"
#include "synth/voice/math.h"

constexpr int32_t pcmLimit = 32600;

int16_t floatToPcm16(float sample, float outputScale) {
    const int32_t v = roundInt(sample * outputScale);  // INT32_MIN when out of range or NaN
    if (v < -pcmLimit) return -pcmLimit;
    if (v > pcmLimit) return pcmLimit;
    return static_cast<int16_t>(v);
}

void convertToPcm16(const float* input, int16_t* output, uint32_t count, float outputScale) {
    FpModeGuard fpMode;  // roundInt rounds in the current mode
    for (uint32_t i = 0; i < count; ++i) output[i] = floatToPcm16(input[i], outputScale);
}
