#pragma once
// The patch library (songs/patches, installed as share/wembrastel/patches)
// and the MIDI mapping onto it that q7m import and q7m live use.
#include <string>
#include "song/midi_mapping.h"

// The General MIDI mapping onto the library, with the mapping file
// mappingFile (if not empty) applied. False with the reason (and the exit
// status: 1 when a file cannot be read, 2 when it is wrong).
bool loadMidiMapping(const std::string& mappingFile, MidiMapping& mapping, std::string& reason, int& status);
