#include "synth/synth.h"
#include "synth/fp_mode.h"

void synthProcessCommands(Synth& synth, const uint8_t* commands) { (void)synth; (void)commands; FpModeGuard fpMode; }
