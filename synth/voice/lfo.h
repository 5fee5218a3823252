#pragma once
// Control-rate low-frequency oscillator: saw, triangle, square, sine and
// sample and hold, with key sync, one-shot mode, polarity and amplitude.
#include <cstdint>

struct SeedSource;

struct Lfo {
    float out;            // output of the last tick, in parameter units
    int32_t mode;
    int32_t keySync;
    int32_t envMode;
    uint32_t increment;   // phase step per frame
    uint32_t phase;
    uint32_t startPhase;
    float scale;
    float offset;
    uint32_t randSeed;
    uint32_t lastPhase;
};

void lfoInit(Lfo& lfo, SeedSource& seeds);
void lfoSetup(Lfo& lfo, const float* p);  // p[0..6]
void lfoNoteOn(Lfo& lfo);
void lfoTick(Lfo& lfo);
