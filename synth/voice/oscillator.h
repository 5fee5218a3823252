#pragma once
// One of a voice's three oscillators: box-filtered triangle/saw and pulse,
// polynomial sine, filtered noise and FM sine, rendered into the voice buffer.
#include <cstdint>
#include "synth/voice/math.h"

struct SeedSource;

struct Oscillator {
    int32_t mode;        // low three bits select the waveform
    int32_t ring;        // bit 0: multiply into the buffer instead of adding
    uint32_t phase;      // 2^32 is one cycle
    uint32_t increment;  // phase step per sample
    uint32_t breakpoint; // colour as a phase: peak (mode 1) or pulse width (mode 2)
    float noiseFreq;
    float noiseDamp;
    uint32_t noiseSeed;
    float gain;          // output level 0..1
    float noiseLow;
    float noiseBand;
    float note;          // voice note plus voice transpose
    float noteOffset;    // own transpose plus detune, semitones
};

// A frame's constants of the box-filtered shapes, shared by oscRender and
// the lane kernels: output level g, step f and breakpoint bp as fractions of
// a cycle; tinyStep when the step is below 2^9 (f = 0).
struct TriSawShape {
    float g, f, bp;
    float A, B;           // slopes of segment 0 and 1 (times g)
    float invF;           // 1 / f, 0 for a tiny step
    uint32_t breakpoint;  // 0 when bp rounds to 0
    bool tinyStep;
};
struct PulseShape {
    float g, f, bp;
    float gOverF;         // g / f, 0 for a tiny step
    float X0, X1;         // the means of steps that wrap (ending in segment 1, 0)
    bool tinyStep;
};
TriSawShape triSawShape(const Oscillator& osc);
PulseShape pulseShape(const Oscillator& osc);

void oscInit(Oscillator& osc, SeedSource& seeds);
void oscSetup(Oscillator& osc, const float* p, const RateConstants& rates = rates44100);  // p[0..5], each 0..128
void oscUpdatePitch(Oscillator& osc, const RateConstants& rates = rates44100);
void oscRender(Oscillator& osc, float* buffer, int32_t n);
