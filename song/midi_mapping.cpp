// The General MIDI mapping onto the patch library, and mapping files that
// replace parts of it.
#include "song/midi_mapping.h"
#include <cstdlib>

namespace {

// One entry per family of eight programs.
struct Family {
    const char* name;
    const char* patch;
};
constexpr Family families[16] = {
    {"Piano", "pluck"},          {"Chromatic Percussion", "bell"}, {"Organ", "lead"},
    {"Guitar", "pluck"},         {"Bass", "bass"},                 {"Strings", "pad"},
    {"Ensemble", "pad"},         {"Brass", "lead"},                {"Reed", "lead"},
    {"Pipe", "lead"},            {"Synth Lead", "lead"},           {"Synth Pad", "pad"},
    {"Synth Effects", "pad"},    {"Ethnic", "pluck"},              {"Percussive", "bell"},
    {"Sound Effects", "hihat"},
};

// Percussion keys: [first, last] play patch at key (plus the offset from
// first when spread is set, so toms and hand drums keep their order).
struct DrumRange {
    uint8_t first, last;
    const char* patch;
    uint8_t key;
    bool spread;
};
constexpr DrumRange drumRanges[] = {
    {35, 36, "kick", 43, false},   {37, 40, "snare", 60, false},  {41, 41, "kick", 48, false},
    {42, 42, "hihat", 60, false},  {43, 43, "kick", 50, false},   {44, 44, "hihat", 60, false},
    {45, 45, "kick", 52, false},   {46, 46, "hihat", 60, false},  {47, 48, "kick", 55, true},
    {49, 49, "hihat", 48, false},  {50, 50, "kick", 60, false},   {51, 55, "hihat", 48, true},
    {56, 56, "bell", 79, false},   {57, 59, "hihat", 48, true},   {60, 68, "kick", 60, true},
    {69, 70, "hihat", 72, false},  {71, 79, "pluck", 84, true},   {80, 81, "bell", 93, false},
};

// The controllers passed on by default (MIDI number, module controller).
constexpr uint8_t defaultControllers[][2] = {
    {1, 1}, {2, 2}, {11, 3}, {74, 4}, {71, 5}, {10, 6}, {7, 7},
};

PatchChoice libraryPatch(const std::filesystem::path& dir, const char* name) {
    return {name, dir / (std::string(name) + ".json")};
}

PatchChoice filePatch(const nlohmann::json& value, const std::filesystem::path& baseDir,
                      const std::string& where) {
    if (!value.is_string()) throw std::runtime_error(where + ": expected a patch file name");
    const std::filesystem::path file = baseDir / value.get<std::string>();
    return {file.stem().string(), file};
}

int64_t readNumber(const nlohmann::json& value, int64_t low, int64_t high, const std::string& where) {
    if (!value.is_number_integer() || value.get<int64_t>() < low || value.get<int64_t>() > high) {
        throw std::runtime_error(where + ": expected a whole number " + std::to_string(low) + ".." +
                                 std::to_string(high));
    }
    return value.get<int64_t>();
}

// "n" or "a-b" within 0..127.
void readRange(const std::string& key, int32_t& first, int32_t& last, const std::string& where) {
    char* end = nullptr;
    first = static_cast<int32_t>(std::strtol(key.c_str(), &end, 10));
    last = first;
    if (end != key.c_str() && *end == '-') last = static_cast<int32_t>(std::strtol(end + 1, &end, 10));
    if (key.empty() || *end != '\0' || first < 0 || last > 127 || first > last) {
        throw std::runtime_error(where + ": \"" + key + "\" is not a number or range within 0..127");
    }
}

void applyFile(const nlohmann::json& file, const std::filesystem::path& baseDir, MidiMapping& mapping) {
    if (!file.is_object()) throw std::runtime_error("expected an object");
    for (auto it = file.begin(); it != file.end(); ++it) {
        if (it.key() != "programs" && it.key() != "drums" && it.key() != "controllers" &&
            it.key() != "speech") {
            throw std::runtime_error("unknown key \"" + it.key() + "\"");
        }
        if (it.key() != "speech" && !it.value().is_object()) {
            throw std::runtime_error(it.key() + ": expected an object");
        }
    }
    if (file.contains("speech")) mapping.speech = filePatch(file["speech"], baseDir, "speech");
    const nlohmann::json none = nlohmann::json::object();
    for (const auto& [key, value] : (file.contains("programs") ? file["programs"] : none).items()) {
        int32_t first, last;
        readRange(key, first, last, "programs");
        const PatchChoice patch = filePatch(value, baseDir, "programs." + key);
        for (int32_t p = first; p <= last; ++p) mapping.programs[p] = patch;
    }
    for (const auto& [key, value] : (file.contains("drums") ? file["drums"] : none).items()) {
        int32_t first, last;
        readRange(key, first, last, "drums");
        const std::string where = "drums." + key;
        DrumChoice drum;
        if (value.is_object()) {
            drum.patch = filePatch(value.value("patch", nlohmann::json()), baseDir, where + ".patch");
            if (value.contains("key")) drum.key = static_cast<uint8_t>(readNumber(value["key"], 0, 127, where + ".key"));
        } else {
            drum.patch = filePatch(value, baseDir, where);
        }
        for (int32_t k = first; k <= last; ++k) mapping.drums[k] = drum;
    }
    for (const auto& [key, value] : (file.contains("controllers") ? file["controllers"] : none).items()) {
        int32_t first, last;
        readRange(key, first, last, "controllers");
        const uint8_t target = static_cast<uint8_t>(readNumber(value, 0, 7, "controllers." + key));
        for (int32_t c = first; c <= last; ++c) mapping.controllers[c] = target;
    }
}

}  // namespace

const char* generalMidiFamily(int32_t program) { return families[(program & 127) / 8].name; }

MidiMapping defaultMidiMapping(const std::filesystem::path& patchDir) {
    MidiMapping mapping;
    for (int32_t p = 0; p < 128; ++p) mapping.programs[p] = libraryPatch(patchDir, families[p / 8].patch);
    for (DrumChoice& drum : mapping.drums) drum = {libraryPatch(patchDir, "hihat"), 60};
    for (const DrumRange& range : drumRanges) {
        for (int32_t k = range.first; k <= range.last; ++k) {
            const int32_t key = range.key + (range.spread ? k - range.first : 0);
            mapping.drums[k] = {libraryPatch(patchDir, range.patch), static_cast<uint8_t>(key)};
        }
    }
    mapping.speech = libraryPatch(patchDir, "speech");
    for (const auto& pair : defaultControllers) mapping.controllers[pair[0]] = pair[1];
    return mapping;
}

bool applyMidiMappingFile(const nlohmann::json& file, const std::filesystem::path& baseDir,
                          MidiMapping& mapping, std::string& error) {
    try {
        applyFile(file, baseDir, mapping);
        return true;
    } catch (const std::exception& e) {  // our own messages and mistyped JSON values alike
        error = e.what();
    }
    return false;
}

nlohmann::ordered_json describeMidiMapping(const MidiMapping& mapping, const std::array<bool, 128>& usedPrograms,
                                           const std::array<bool, 128>& usedDrums) {
    nlohmann::ordered_json record;
    record["programs"] = nlohmann::ordered_json::object();
    record["drums"] = nlohmann::ordered_json::object();
    for (int32_t p = 0; p < 128; ++p) {
        if (usedPrograms[p]) record["programs"][std::to_string(p)] = mapping.programs[p].file.string();
    }
    for (int32_t k = 0; k < 128; ++k) {
        if (!usedDrums[k]) continue;
        record["drums"][std::to_string(k)] = {{"patch", mapping.drums[k].patch.file.string()},
                                              {"key", mapping.drums[k].key}};
    }
    nlohmann::ordered_json controllers = nlohmann::ordered_json::object();
    for (int32_t c = 0; c < 128; ++c) {
        if (mapping.controllers[c]) controllers[std::to_string(c)] = mapping.controllers[c];
    }
    record["controllers"] = controllers;
    return record;
}
