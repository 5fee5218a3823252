#pragma once
// What a song source's omitted parameters stand for.
#include <array>
#include <cstdint>
#include "player/module_writer.h"
#include "synth/param_index.h"

// A plain, dry patch: oscillator 1 a sawtooth at volume 100, oscillators 2
// and 3 off, filters and distortion bypassed, an organ-like amplitude
// envelope (instant attack, full sustain, short release), no LFO depth, the
// channel at volume 100 with no sends and every channel effect off;
// polyphony 8 and no modulation.
PatchRecord defaultPatch();

// The global bus with every effect off: no reverb input, the delay bypassed,
// the slowest output low cut, no high cut, the master compressor off.
std::array<uint8_t, globalParamCount> defaultGlobals();
