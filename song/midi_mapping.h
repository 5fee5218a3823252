#pragma once
// Which patch plays a MIDI program or a percussion key, and which module
// controller a MIDI controller drives, for importing MIDI files and for
// playing live. The default follows the General MIDI families; a mapping
// file replaces any part of it (see docs/general-midi.md).
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <nlohmann/json.hpp>

constexpr int32_t midiPercussionChannel = 9;  // MIDI channel 10
constexpr int32_t speechChannel = 15;         // the module's 16th channel speaks
constexpr uint8_t midiSustainController = 64;

struct PatchChoice {
    std::string name;  // the patch's name in a song source (the file's stem)
    std::filesystem::path file;
};

// A percussion key plays patch at a fixed key.
struct DrumChoice {
    PatchChoice patch;
    uint8_t key = 60;
};

struct MidiMapping {
    std::array<PatchChoice, 128> programs;
    std::array<DrumChoice, 128> drums;
    PatchChoice speech;                    // MIDI channel 16 when it speaks
    std::array<uint8_t, 128> controllers{};  // module controller 1..7, 0: not passed on
};

// The General MIDI mapping onto the patch library in patchDir.
MidiMapping defaultMidiMapping(const std::filesystem::path& patchDir);

// Overrides mapping with a mapping file's contents:
//   {"programs": {"0": "piano.json", "16-23": "organ.json"},
//    "drums": {"36": "kick.json", "38": {"patch": "snare.json", "key": 60}},
//    "controllers": {"1": 1, "64": 4}}
// Patch files are relative to baseDir; a controller mapped to 0 is dropped.
// False with the place and the problem on a mistake.
bool applyMidiMappingFile(const nlohmann::json& file, const std::filesystem::path& baseDir,
                          MidiMapping& mapping, std::string& error);

// The mapping as a mapping file (only the programs and keys in usedPrograms
// and usedDrums), for the record of what an import used.
nlohmann::ordered_json describeMidiMapping(const MidiMapping& mapping, const std::array<bool, 128>& usedPrograms,
                                           const std::array<bool, 128>& usedDrums);

// The General MIDI family name of a program (0..127), e.g. "Piano".
const char* generalMidiFamily(int32_t program);
