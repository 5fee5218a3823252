#pragma once
// A MIDI input port through RtMidi (the ALSA sequencer on Linux): the first
// port whose name contains a given text, or else a virtual input port
// "Wembrastel" that other programs connect to. Each message is pushed to a
// queue as it arrives, on RtMidi's own thread.
#include <string>
#include "player/midi_queue.h"

struct MidiPort;

// Null with the reason when there is no MIDI system or no such port.
MidiPort* midiPortOpen(const std::string& nameContains, MidiQueue& queue, std::string& reason);
// The name of the port that was opened.
std::string midiPortName(const MidiPort* port);
// Messages the queue had no room for.
uint32_t midiPortDropped(const MidiPort* port);
void midiPortClose(MidiPort* port);  // accepts null
