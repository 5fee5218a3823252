#pragma once
// The patch bank, global settings and routing with which q7m live plays a
// MIDI mapping: every patch the mapping names gets a program; percussion
// keys play on one channel per drum patch (channel 10, then 15, 14, ...
// downwards), and MIDI channel 16 takes the channel below those.
#include <cstdint>
#include <string>
#include <vector>
#include "player/live_engine.h"
#include "song/midi_mapping.h"

struct LiveBank {
    std::vector<uint8_t> patchBlock;
    std::vector<uint8_t> globals;  // 22 bytes
    LiveRouting routing;
};

// False with the reason when a patch file cannot be read or compiled.
bool buildLiveBank(const MidiMapping& mapping, LiveBank& bank, std::string& error);
