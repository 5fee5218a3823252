#include "synth/voice/oscillator.h"
#include "synth/seed.h"

void oscInit(Oscillator& osc, SeedSource& seeds) { osc.phase = 0; osc.noiseLow = osc.noiseBand = 0; osc.noiseSeed = seedSourceDraw(seeds); }
void oscSetup(Oscillator& osc, const float* p) { (void)osc; (void)p; }
void oscUpdatePitch(Oscillator& osc) { (void)osc; }
void oscRender(Oscillator& osc, float* buffer, int32_t n) { (void)osc; (void)buffer; (void)n; }
