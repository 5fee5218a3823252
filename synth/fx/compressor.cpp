#include "synth/fx/compressor.h"

void compressorInit(Compressor& comp) { comp.mode = (comp.mode & ~0xFF) | 2; }
void compressorSetup(Compressor& comp, const float* p) { (void)comp; (void)p; }
void compressorProcess(Compressor& comp, float* buffer, float* levels, int32_t n) { (void)comp; (void)buffer; (void)levels; (void)n; }
