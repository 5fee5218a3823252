#include "synth/voice/distortion.h"

float fastAtan(float v) { return v; }
void distInit(Distortion& dist) { dist.holdPhase = 0; dist.heldLeft = dist.heldRight = 0; filterInit(dist.filterA); filterInit(dist.filterB); }
void distSetup(Distortion& dist, const float* p) { (void)dist; (void)p; }
void distProcessMono(Distortion& dist, const float* input, float* output, int32_t n) { (void)dist; (void)input; (void)output; (void)n; }
void distProcessStereo(Distortion& dist, const float* input, float* output, int32_t n) { (void)dist; (void)input; (void)output; (void)n; }
