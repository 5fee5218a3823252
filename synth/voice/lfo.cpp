#include "synth/voice/lfo.h"
#include "synth/seed.h"

void lfoInit(Lfo& lfo, SeedSource& seeds) { lfo.phase = 0; lfo.lastPhase = 0; lfo.randSeed = seedSourceDraw(seeds); }
void lfoSetup(Lfo& lfo, const float* p) { (void)lfo; (void)p; }
void lfoNoteOn(Lfo& lfo) { (void)lfo; }
void lfoTick(Lfo& lfo) { (void)lfo; }
