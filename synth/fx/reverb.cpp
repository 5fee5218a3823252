#include "synth/fx/reverb.h"

void reverbSetup(Reverb& reverb, const float* p) { (void)reverb; (void)p; }
void reverbClear(Reverb& reverb) { (void)reverb; }
void reverbProcess(Reverb& reverb, const float* bus, float* mainMix, int32_t n) { (void)reverb; (void)bus; (void)mainMix; (void)n; }
