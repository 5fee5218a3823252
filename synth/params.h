#pragma once
// Patch lookup and the modulation matrix.
#include <cstdint>

struct Synth;

// The patch of a program, or null when the bank has no complete record for it.
const uint8_t* synthPatch(const Synth& synth, int32_t program);
// The voice's 59 parameters from its channel's patch plus modulation, handed to voiceSetup.
void voiceParamUpdate(Synth& synth, int32_t voice);
// The channel's 25 parameters from its patch plus controller modulation.
void channelParamUpdate(Synth& synth, int32_t channel);
