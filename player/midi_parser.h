#pragma once
// Raw MIDI bytes as they come from a wire or a file, gathered into channel
// messages: running status, real-time bytes inside a message, and SysEx and
// other system messages skipped.
#include <cstdint>

struct MidiParser {
    uint8_t status = 0;    // running status; 0: none yet (data bytes are dropped)
    uint8_t data[2] = {0, 0};
    uint8_t count = 0;     // data bytes gathered
    bool inSysEx = false;
};

// The data bytes a channel message of this status carries (1 or 2).
uint8_t midiDataBytes(uint8_t status);

// Takes one byte; true when it completes a channel message, which is then
// written into message (status and data bytes) with its length (2 or 3).
bool midiParserFeed(MidiParser& parser, uint8_t byte, uint8_t message[3], uint8_t& length);
