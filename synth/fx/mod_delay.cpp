#include "synth/fx/mod_delay.h"

void modDelayBind(ModDelay& unit, float* lineL, float* lineR, int32_t mask) { unit.lineL = lineL; unit.lineR = lineR; unit.mask = mask; }
void modDelaySetup(ModDelay& unit, const float* p) { (void)unit; (void)p; }
void modDelayClear(ModDelay& unit) { unit.writeIndex = 0; unit.phase = 0; for (int32_t i = 0; i <= unit.mask; ++i) unit.lineL[i] = unit.lineR[i] = 0; }
void modDelayProcessStereo(ModDelay& unit, float* buffer, int32_t n) { (void)unit; (void)buffer; (void)n; }
void modDelayProcessSend(ModDelay& unit, const float* monoIn, float* stereoOut, int32_t n) { (void)unit; (void)monoIn; (void)stereoOut; (void)n; }
