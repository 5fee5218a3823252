#include "player/pcm.h"

int16_t floatToPcm16(float sample, float outputScale) { (void)sample; (void)outputScale; return 0; }
void convertToPcm16(const float* input, int16_t* output, uint32_t count, float outputScale) { for (uint32_t i = 0; i < count; ++i) output[i] = floatToPcm16(input[i], outputScale); }
