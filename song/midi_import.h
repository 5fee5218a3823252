#pragma once
// A MIDI file turned into a song source: the tempo map, the channels'
// notes, program changes, bends and controllers, and the patches the
// mapping picks, written inline so the source builds anywhere.
#include <string>
#include <vector>
#include <nlohmann/json.hpp>
#include "song/midi_file.h"
#include "song/midi_mapping.h"
#include "song/json_writer.h"
#include "song/song.h"

struct MidiImportOptions {
    std::string sourceName;   // recorded in the song's comment
    bool speech = false;      // MIDI channel 16 speaks speechText on the module's 16th channel
    std::string speechText;
    // When set, the lengths of the tempo map and of each channel's note
    // events are put here before anything is written (for a builder reading
    // the source as it is written).
    SongListSizes* listSizes = nullptr;
};

// Writes the song source of file under mapping to sink as it is laid out
// (songSourceText's layout), without holding its events as a tree. Patch
// files are read here; false with the reason when one cannot be read or the
// sink fails. warnings collect what was left out (a channel with no free
// module channel to move to). file is taken: its events are let go once
// walked.
bool writeImportedSong(MidiFile file, const MidiMapping& mapping, const MidiImportOptions& options,
                       const TextSink& sink, std::vector<std::string>& warnings, std::string& error);
// The same song source as a tree. Patch files are read here; false
// with the reason when one cannot be read. warnings collect what was left
// out (a channel with no free module channel to move to).
bool importMidi(const MidiFile& file, const MidiMapping& mapping, const MidiImportOptions& options,
                nlohmann::ordered_json& song, std::vector<std::string>& warnings, std::string& error);

// A patch file's object, with an import inside it made absolute so that a
// song source holding it builds wherever it is written. Throws
// std::runtime_error when the file cannot be read or is no JSON object.
nlohmann::ordered_json readPatchFile(const PatchChoice& patch);

// The song source as text: objects one key a line, lists of numbers and
// events on one line each.
std::string songSourceText(const nlohmann::ordered_json& song);
