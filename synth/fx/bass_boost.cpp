#include "synth/fx/bass_boost.h"

void bassBoostSetup(BassBoost& boost, float p) { (void)boost; (void)p; }
void bassBoostProcess(BassBoost& boost, float* buffer, int32_t n) { (void)boost; (void)buffer; (void)n; }
