#include "synth/voice/envelope.h"

void envInit(Envelope& env) { env.state = 0; }
void envSetup(Envelope& env, const float* p) { (void)env; (void)p; }
void envTick(Envelope& env, int32_t gate) { env.state = gate ? 1 : 0; env.level = 0; env.out = 0; }
