#include "synth/seed.h"

void seedSourceSetFixed(SeedSource& source, uint32_t seed) { source.fixed = 1; source.seed = seed; source.drawIndex = 0; }
void seedSourceSetFree(SeedSource& source) { source.fixed = 0; }
void seedSourceRestart(SeedSource& source) { source.drawIndex = 0; }
uint32_t seedSourceDraw(SeedSource& source) { return source.seed + source.drawIndex++ * 0x9E3779B9u; }
