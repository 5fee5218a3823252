#pragma once
// Modulated stereo delay: the channels' chorus/flanger (in place, 2048-sample
// lines) and the global stereo delay (from the mono send bus, 32768-sample lines).
#include <cstdint>

struct ModDelay {
    float* lineL;
    float* lineR;
    int32_t mask;        // line length - 1
    int32_t writeIndex;
    int32_t delayL;
    int32_t delayR;
    uint32_t phase;
    uint32_t phaseInc;
    int32_t phaseOffset;
    uint32_t depth;
    float feedback;
    float dry;
    float wet;
};

void modDelayBind(ModDelay& unit, float* lineL, float* lineR, int32_t mask);
void modDelaySetup(ModDelay& unit, const float* p);  // p[0..6]
void modDelayClear(ModDelay& unit);
void modDelayProcessStereo(ModDelay& unit, float* buffer, int32_t n);
void modDelayProcessSend(ModDelay& unit, const float* monoIn, float* stereoOut, int32_t n);
