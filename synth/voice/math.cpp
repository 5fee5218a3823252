#include "synth/voice/math.h"

RateConstants rates;

int32_t roundInt(float v) { (void)v; return 0; }
float frac(uint32_t phase) { (void)phase; return 0; }
float pow2(float v) { (void)v; return 1; }
float pow2Span10(float v) { (void)v; return 1; }
float pow2Span11(float v) { (void)v; return 1; }
float powBase(float b, float e) { (void)b; (void)e; return 1; }
float fastSin(float a) { (void)a; return 0; }
void rateConstantsInit(int32_t sampleRate) { (void)sampleRate; }
