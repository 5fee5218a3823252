#pragma once
// Song source files: a JSON description of a song (time base, tempo map,
// notes and controllers per channel, named patches, global effect settings,
// speech texts) compiled into a module image, and modules turned back into
// song sources.
#include <array>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>
#include <nlohmann/json.hpp>
#include "player/module.h"
#include "player/module_writer.h"
#include "song/json_writer.h"

// Compiles a parsed song. Patch files named by "import" are read relative to
// baseDir. On failure returns false and error names the place and the
// problem, e.g. "channels[3].notes[12].key: 130 is outside 0..127".
bool compileSong(const nlohmann::json& song, const std::filesystem::path& baseDir,
                 ModuleSource& module, std::string& error);

// Parses text as JSON and compiles it into a module image.
// The parser reads the text element by element (nlohmann's SAX interface),
// so a long song takes little more memory than its events.
bool buildSongImage(std::string_view text, const std::filesystem::path& baseDir,
                    std::vector<uint8_t>& image, std::string& error);
// What the writer of a source being read knows of its longest lists (0:
// nothing): each is reserved at that length when it begins, so that a long
// list never grows by copying itself.
struct SongListSizes {
    size_t tempo = 0;
    std::array<size_t, 16> noteEvents{};  // per channel; two a note for "notes"
};

// The same, reading the text from source as it parses. sizes, when given,
// is read as each list begins: a writer on another thread fills it in
// before it writes the lists.
bool buildSongImage(std::istream& source, const std::filesystem::path& baseDir, std::vector<uint8_t>& image,
                    std::string& error, const SongListSizes* sizes = nullptr);

// Writes the song source of a parsed module to sink as it walks the module
// (the text of nlohmann's dump(2) and a newline). Note-on / note-off pairs
// become notes where that reproduces the stream exactly; otherwise the
// channel's note events are kept raw. False when the sink failed.
bool dumpModule(const ModuleView& view, const TextSink& sink);
// The same text, whole.
std::string dumpModuleText(const ModuleView& view);
