#pragma once
// Resonant state-variable filter run twice per input sample, five responses.
#include <cstdint>
#include "synth/voice/math.h"

struct Filter {
    int32_t mode;    // low three bits: 0 bypass, 1 low, 2 band, 3 high, 4 notch, 5 peak, 6-7 bypass
    float freq;      // frequency coefficient f
    float damp;      // damping q: 1 no resonance, 0 undamped
    float low;
    float band;
    int32_t stride;  // 1 for mono, 2 for one side of interleaved stereo
};

void filterInit(Filter& filter);
void filterSetup(Filter& filter, const float* p, const RateConstants& rates = rates44100);  // mode, cutoff, resonance (0..128)
void filterProcess(Filter& filter, const float* input, float* output, int32_t n);
// left and right over n interleaved stereo frames in one loop (the two
// recursions are independent, so each hides the other's latency); both
// must have the same mode. The same samples as filterProcess on each side.
void filterProcessPair(Filter& left, Filter& right, const float* input, float* output, int32_t n);
