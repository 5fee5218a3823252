#include "synth/voice/filter.h"

void filterInit(Filter& filter) { filter.low = filter.band = 0; filter.stride = 1; }
void filterSetup(Filter& filter, const float* p) { (void)filter; (void)p; }
void filterProcess(Filter& filter, const float* input, float* output, int32_t n) { (void)filter; (void)input; (void)output; (void)n; }
