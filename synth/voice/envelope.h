#pragma once
// Five-state control-rate envelope (idle, attack, decay, sustain, release);
// levels on the 0..128 parameter scale, one step per frame.
#include <cstdint>

struct Envelope {
    float out;            // level x amplify
    int32_t state;        // 0 idle, 1 attack, 2 decay, 3 sustain, 4 release
    float level;          // 0..128
    float attackStep;
    float decayFactor;
    float sustainLevel;
    float sustainFactor;
    float releaseFactor;
    float amplify;        // 0..1
};

void envInit(Envelope& env);
void envSetup(Envelope& env, const float* p);  // p[0..5]
void envTick(Envelope& env, int32_t gate);
