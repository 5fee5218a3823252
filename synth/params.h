#pragma once
// Patch lookup and the modulation matrix.
#include <cstdint>

struct Synth;

// The patch of a program, or null when the bank has no complete record for
// it (its offset entry or any of its 86 + 3m bytes lies outside the bank).
const uint8_t* synthPatch(const Synth& synth, int32_t program);
// The voice's 59 parameters from its channel's patch (each byte clamped to 0..128)
// plus modulation, handed to voiceSetup.
void voiceParamUpdate(Synth& synth, int32_t voice);
// The channel's 25 parameters from its patch plus controller modulation, into
// synth.channelParams (all zero when the channel's program has no patch).
void channelParamUpdate(Synth& synth, int32_t channel);

// A parameter after one routing: negative (including -0) becomes 0, above 128 becomes 128.
float clampParam(float v);
// The factor of a routing's amount byte: 64 is 0, 0 is -1, 127 is 63/64.
float routingFactor(uint8_t amount);
