// Any bytes as a MIDI file for q7m import. Whatever the reader accepts must
// import, build into a module (when within the module's limits) and parse
// as a module the player accepts. Patches come from songs/patches (the
// working directory is the repository).
#include <cstdlib>
#include <memory>
#include "player/module.h"
#include "song/midi_import.h"
#include "song/song.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const MidiMapping mapping = defaultMidiMapping("songs/patches");
    MidiFile file;
    std::string error;
    if (!readMidiFile({data, data + size}, file, error)) return 0;
    nlohmann::ordered_json song;
    std::vector<std::string> warnings;
    if (!importMidi(file, mapping, {"fuzz.mid", size % 2 == 1, "ah"}, song, warnings, error)) std::abort();
    ModuleSource module;
    std::vector<uint8_t> image;
    if (!compileSong(nlohmann::json::parse(songSourceText(song)), ".", module, error)) std::abort();
    if (!writeModule(module, image, error)) std::abort();
    auto view = std::make_unique<ModuleView>();
    if (!parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, error)) std::abort();
    return 0;
}
