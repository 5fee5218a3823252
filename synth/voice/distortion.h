#pragma once
// Multi-mode waveshaper shared by voices (mono) and channels (stereo):
// overdrive, clip, bit crusher, decimator and five filter responses.
#include <cstdint>
#include "synth/voice/filter.h"

struct Distortion {
    int32_t mode;       // 0..9; other values act as off
    float gain;         // input gain
    float outScale;
    float offset;
    float crushScale;
    int32_t crushMult;
    int32_t crushXor;
    uint32_t holdPhase;
    uint32_t holdStep;
    float heldLeft;
    float heldRight;
    Filter filterA;     // mono, or the left side
    Filter filterB;     // the right side
};

float fastAtan(float v);
bool distIsFilterMode(int32_t mode);  // modes 5..9 run filterA (and filterB)

void distInit(Distortion& dist);
void distSetup(Distortion& dist, const float* p, const RateConstants& rates = rates44100);  // mode, input gain, param 1, param 2
void distProcessMono(Distortion& dist, const float* input, float* output, int32_t n);
void distProcessStereo(Distortion& dist, const float* input, float* output, int32_t n);
