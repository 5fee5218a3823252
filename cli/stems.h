#pragma once
// Stems: a module split into what each channel with notes plays and what the
// global effects add, so that all of them together give the full mix.
//
// A channel's stem is that channel heard alone and dry: every other channel
// muted and the reverb and delay returns muted, through the output filter and
// the master compressor as if it were the only channel. effects.wav holds the
// rest of the full mix: the reverb and delay returns plus whatever the master
// compressor does differently when everything plays together. In floats the
// channel stems plus effects.wav give mix.wav (to float rounding); in 16-bit
// each file is rounded on its own.
#include <cstdint>
#include <string>
#include <vector>
#include "cli/module_open.h"

struct StemSet {
    std::vector<PlayerHandle> players;  // the full mix, then one per channel stem
    std::vector<int> channels;          // the stems' channels (0..15)
    bool effectsStem = false;           // a last output holds the rest of the mix
};

// Opens the full mix and one solo player per channel with notes, all with
// config (which must fix the seed); false with the reason when the module is
// refused.
bool stemsOpen(StemSet& set, const std::vector<uint8_t>& image, const wb_config& config,
               std::string& reason);

// dir/mix.wav, dir/channel-NN.wav (channels numbered 1..16), dir/effects.wav.
std::vector<std::string> stemsFileNames(const StemSet& set, const std::string& dir);

// rest = mix - (parts[0] + parts[1] + ...), sample by sample, over frames
// interleaved stereo frames.
void stemsEffectsRest(const float* mix, const std::vector<const float*>& parts, float* rest,
                      uint32_t frames);
