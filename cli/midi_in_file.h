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
#include "player/midi_parser.h"
#include "player/midi_queue.h"

// A text line's message in eight bytes (a time is at most 86,400 s, whose
// frames fit 32 bits); its length follows from its status.
struct TimedMidiMessage {
    uint32_t frame;
    uint8_t bytes[3];
};

// A file's messages, given out in the order they are due. Raw bytes are
// kept as they are and parsed as they are played; text is parsed at once
// (its times may come in any order) and let go.
struct MidiInput {
    std::vector<uint8_t> raw;
    size_t position = 0;
    MidiParser parser;
    std::vector<TimedMidiMessage> timed;  // in the order they are due
    size_t next = 0;
};

// Takes the file's bytes; false with the line and the reason for a text
// line that is neither.
bool parseMidiInput(std::vector<uint8_t> bytes, MidiInput& input, std::string& reason);
// The next message; false when all were given.
bool midiInputNext(MidiInput& input, MidiMessage& message);
