#pragma once
// q7m live --midi-in: MIDI input from a file instead of a port. The file is
// either raw MIDI bytes, or text lines of hexadecimal bytes, each line
// optionally led by a time in seconds and a colon:
//     0.5: 90 3C 64
//     1.0: 80 3C 00
// A timed message is due at that time of the output (counted in frames at
// 44,100 Hz from the first one rendered); an untimed one as soon as it is
// read. Running status, SysEx and real-time bytes are handled as on a wire.
#include <cstdint>
#include <string>
#include <vector>
#include "player/midi_queue.h"

// False with the line and the reason for a text line that is neither.
bool parseMidiInput(const std::vector<uint8_t>& bytes, std::vector<MidiMessage>& messages, std::string& reason);
