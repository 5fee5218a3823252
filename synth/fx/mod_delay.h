#pragma once
// Modulated stereo delay: the channels' chorus/flanger (in place, 2048-sample
// lines) and the global stereo delay (from the mono send bus, 32768-sample lines).
// A shared triangle LFO (the right side offset by phaseOffset) sweeps both
// read positions; reads are linearly interpolated and each side feeds back
// into its own line.
#include <cstdint>
#include "synth/voice/math.h"

struct ModDelay {
    float* lineL;
    float* lineR;
    int32_t mask;        // line length - 1 (a power of two minus one)
    int32_t writeIndex;
    int32_t delayL;      // base delays in samples
    int32_t delayR;
    uint32_t phase;      // 2^32 is one LFO cycle
    uint32_t phaseInc;
    int32_t phaseOffset; // added to phase for the right side
    uint32_t depth;      // modulation depth in samples
    float feedback;
    float dry;
    float wet;           // exactly 0 bypasses the unit
};

void modDelayBind(ModDelay& unit, float* lineL, float* lineR, int32_t mask);
// p[0..6]: amount, feedback, delay left, delay right, rate, depth, phase.
// Leaves the lines, writeIndex and phase alone.
void modDelaySetup(ModDelay& unit, const float* p, const RateConstants& rates = rates44100);
void modDelayClear(ModDelay& unit);
// Chorus: n interleaved stereo frames in place, dry + wet.
void modDelayProcessStereo(ModDelay& unit, float* buffer, int32_t n);
// Global delay: both sides from one mono input, wet output added to stereoOut.
void modDelayProcessSend(ModDelay& unit, const float* monoIn, float* stereoOut, int32_t n);
