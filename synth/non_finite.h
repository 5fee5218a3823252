#pragma once
// Recovery from a blown-up unit. A state-variable filter (a voice's filters,
// a distortion unit's filter modes, the noise oscillator's filter) that is
// undamped, resonance at 128 after modulation, and whose frequency moves from
// frame to frame gains energy with every change until its state overflows;
// the infinities and NaNs then spread to every unit downstream and stay in
// their feedback paths and delay lines.
//
// The synthesizer checks each frame's output once: only when a sample is not
// finite are those samples silenced and the units whose state is not finite
// cleared, so a render that stays finite is never touched (a unit may hold an
// infinity for a while that overdrive or the bit crusher turn into finite
// samples). Runs on the sound output thread; nothing here allocates.
#include <cstdint>

struct Synth;

// Sets the samples among count floats that are not finite to 0; true if
// there were any.
bool silenceNonFinite(float* samples, int32_t count);

// Clears the signal state (filter and feedback states, delay, reverb and
// compressor lines) of every unit that holds a value that is not finite, the
// voices' only when asked. Settings, phases, envelopes and voice allocation
// stay as they are.
void synthClearNonFinite(Synth& synth, bool voices);
// Whether every voice's signal state is finite (so clearing would leave the
// voices as they are).
bool voiceStatesFinite(const Synth& synth);
