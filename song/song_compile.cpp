// Compiles a song source (JSON) into the events, patches and blocks of a
// module. Every check names the place in the source and the problem.
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include "song/note_order.h"
#include "song/patch_defaults.h"
#include "song/song.h"
#include "song/song_names.h"
#include "synth/param_index.h"

using nlohmann::json;

namespace {

constexpr int32_t maxSpeechTexts = 64;
constexpr int32_t maxImportDepth = 8;
constexpr uintmax_t maxPatchFileBytes = 1u << 20;

// Thrown inside the compiler only; compileSong turns it into its error text.
struct SongFault {
    std::string message;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw SongFault{where.empty() ? what : where + ": " + what};
}

std::string describe(const json& value) {
    std::string text = value.dump();
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

int64_t readInt(const json& value, int64_t low, int64_t high, const std::string& where) {
    if (!value.is_number_integer()) {
        if (value.is_number_float()) fail(where, describe(value) + " is not a whole number");
        fail(where, "expected a whole number, found " + describe(value));
    }
    if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(high)) {
        fail(where, describe(value) + " is outside " + std::to_string(low) + ".." +
                        std::to_string(high));
    }
    const int64_t number = value.get<int64_t>();
    if (number < low || number > high) {
        fail(where, std::to_string(number) + " is outside " + std::to_string(low) + ".." +
                        std::to_string(high));
    }
    return number;
}

uint32_t readTick(const json& value, const std::string& where) {
    if (value.is_number_integer() && !value.is_number_unsigned() && value.get<int64_t>() < 0) {
        fail(where, "negative time " + describe(value));
    }
    return static_cast<uint32_t>(readInt(value, 0, 0xFFFFFFFEll, where));
}

const json& member(const json& object, const char* key, const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end()) fail(where, std::string("missing \"") + key + "\"");
    return *found;
}

void requireObject(const json& value, const std::string& where) {
    if (!value.is_object()) fail(where, "expected an object, found " + describe(value));
}

void requireArray(const json& value, const std::string& where) {
    if (!value.is_array()) fail(where, "expected a list, found " + describe(value));
}

// Rejects keys other than the allowed ones, suggesting the closest.
void checkKeys(const json& object, const std::vector<std::string>& allowed,
               const std::string& where) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (std::find(allowed.begin(), allowed.end(), it.key()) != allowed.end()) continue;
        std::string message = "unknown key \"" + it.key() + "\"";
        const std::string near = closestName(allowed, it.key());
        if (!near.empty()) message += "; did you mean \"" + near + "\"?";
        fail(where, message);
    }
}

// The parser's message without its "[json.exception.NAME.ID] " prefix.
std::string plainJsonMessage(const json::exception& e) {
    const std::string message = e.what();
    const size_t end = message.rfind("] ", message.find(' '));
    return message.rfind("[json.exception.", 0) == 0 && end != std::string::npos ? message.substr(end + 2) : message;
}

std::string indexed(const std::string& where, size_t i) {
    return where + "[" + std::to_string(i) + "]";
}

// --- time base and tempo map ----------------------------------------------

void compileTempo(const json& list, ModuleSource& module) {
    requireArray(list, "tempo");
    TempoEvent previous{0, 500000};
    uint32_t lastTick = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = indexed("tempo", i);
        const json& entry = list[i];
        requireObject(entry, where);
        checkKeys(entry, {"tick", "bpm", "microsPerBeat", "numerator", "denominator", "third"},
                  where);
        TempoEvent event = previous;
        event.tick = readTick(member(entry, "tick", where), where + ".tick");
        if (event.tick < lastTick) fail(where + ".tick", "tempo changes must be in time order");
        lastTick = event.tick;
        if (entry.contains("bpm") && entry.contains("microsPerBeat")) {
            fail(where, "give either \"bpm\" or \"microsPerBeat\", not both");
        }
        if (entry.contains("bpm")) {
            const json& bpm = entry["bpm"];
            if (!bpm.is_number()) fail(where + ".bpm", "expected a number, found " + describe(bpm));
            const double beats = bpm.get<double>();
            if (!(beats >= 6.2 && beats <= 60000000.0)) {
                fail(where + ".bpm", describe(bpm) + " is outside 6.2..60000000");
            }
            event.microsPerBeat = static_cast<uint32_t>(std::lround(60000000.0 / beats));
        } else if (entry.contains("microsPerBeat")) {
            event.microsPerBeat = static_cast<uint32_t>(
                readInt(entry["microsPerBeat"], 1, 9739210, where + ".microsPerBeat"));
        }
        if (entry.contains("numerator")) {
            event.numerator = static_cast<uint8_t>(readInt(entry["numerator"], 0, 255, where + ".numerator"));
        }
        if (entry.contains("denominator")) {
            event.denominator =
                static_cast<uint8_t>(readInt(entry["denominator"], 0, 255, where + ".denominator"));
        }
        if (entry.contains("third")) {
            event.third = static_cast<uint8_t>(readInt(entry["third"], 0, 255, where + ".third"));
        }
        module.tempos.push_back(event);
        previous = event;
    }
}

// --- parameters, patches and the bank --------------------------------------

void setNamedBytes(const json& values, const char* const* names, int32_t count,
                   uint8_t* bytes, const std::string& where, const char* what) {
    requireObject(values, where);
    const std::vector<std::string> known = nameList(names, count);
    for (auto it = values.begin(); it != values.end(); ++it) {
        const int32_t index = findName(names, count, it.key());
        if (index < 0) {
            std::string message = std::string("unknown ") + what + " \"" + it.key() + "\"";
            const std::string near = closestName(known, it.key());
            if (!near.empty()) message += "; did you mean \"" + near + "\"?";
            fail(where, message);
        }
        bytes[index] = static_cast<uint8_t>(readInt(it.value(), 0, 127, where + ": " + it.key()));
    }
}

uint8_t readNameOrByte(const json& value, const char* const* names, int32_t count,
                       const std::string& where, const char* what) {
    if (value.is_number()) return static_cast<uint8_t>(readInt(value, 0, 255, where));
    if (!value.is_string()) fail(where, std::string("expected a ") + what + " name or a number");
    const std::string name = value.get<std::string>();
    const int32_t index = findName(names, count, name);
    if (index >= 0) return static_cast<uint8_t>(index);
    std::string message = std::string("unknown ") + what + " \"" + name + "\"";
    const std::string near = closestName(nameList(names, count), name);
    if (!near.empty()) message += "; did you mean \"" + near + "\"?";
    fail(where, message);
}

std::array<uint8_t, 3> compileRouting(const json& entry, const std::string& where) {
    requireObject(entry, where);
    checkKeys(entry, {"source", "amount", "destination"}, where);
    std::array<uint8_t, 3> routing{};
    routing[0] = readNameOrByte(member(entry, "source", where), modSourceNames, modSourceCount,
                                where + ".source", "modulation source");
    routing[1] = static_cast<uint8_t>(readInt(member(entry, "amount", where), 0, 255, where + ".amount"));
    routing[2] = readNameOrByte(member(entry, "destination", where), patchParamNames,
                                patchParamCount, where + ".destination", "parameter");
    return routing;
}

json readJsonFile(const std::filesystem::path& path, const std::string& where) {
    // Only plain files of a sensible size: a device or a pipe named here
    // would otherwise be read for ever.
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        fail(where, "\"" + path.string() + "\" is not a readable file");
    }
    const uintmax_t size = std::filesystem::file_size(path, code);
    if (code || size > maxPatchFileBytes) {
        fail(where, "\"" + path.string() + "\" is not a patch file of at most 1 MiB");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) fail(where, "cannot read \"" + path.string() + "\"");
    std::stringstream text;
    text << file.rdbuf();
    json parsed = json::parse(text.str(), nullptr, false);
    if (parsed.is_discarded()) fail(where, "\"" + path.string() + "\" is not valid JSON");
    return parsed;
}

void applyPatch(const json& patch, const std::filesystem::path& baseDir, PatchRecord& record,
                const std::string& where, int32_t depth) {
    requireObject(patch, where);
    checkKeys(patch, {"import", "description", "polyphony", "params", "modulation"}, where);
    if (patch.contains("import")) {
        const json& name = patch["import"];
        if (!name.is_string()) fail(where + ".import", "expected a file name");
        if (depth >= maxImportDepth) fail(where + ".import", "imports nest too deeply");
        const std::filesystem::path file = baseDir / name.get<std::string>();
        const json imported = readJsonFile(file, where + ".import");
        applyPatch(imported, file.parent_path(), record,
                   where + " (from " + name.get<std::string>() + ")", depth + 1);
    }
    if (patch.contains("polyphony")) {
        record.polyphony = static_cast<uint8_t>(readInt(patch["polyphony"], 0, 255, where + ".polyphony"));
    }
    if (patch.contains("params")) {
        uint8_t bytes[patchParamCount];
        std::copy(record.voice.begin(), record.voice.end(), bytes);
        std::copy(record.channel.begin(), record.channel.end(), bytes + voiceParamCount);
        setNamedBytes(patch["params"], patchParamNames, patchParamCount, bytes, where, "parameter");
        std::copy(bytes, bytes + voiceParamCount, record.voice.begin());
        std::copy(bytes + voiceParamCount, bytes + patchParamCount, record.channel.begin());
    }
    if (patch.contains("modulation")) {
        const json& list = patch["modulation"];
        requireArray(list, where + ".modulation");
        if (list.size() > 255) fail(where + ".modulation", "more than 255 routings");
        record.routings.clear();
        for (size_t i = 0; i < list.size(); ++i) {
            record.routings.push_back(compileRouting(list[i], indexed(where + ".modulation", i)));
        }
    }
}

struct Bank {
    std::map<std::string, PatchRecord> patches;
    std::map<int32_t, std::string> programs;  // program -> patch name
};

Bank compilePatches(const json& song, const std::filesystem::path& baseDir) {
    Bank bank;
    if (song.contains("patches")) {
        const json& patches = song["patches"];
        requireObject(patches, "patches");
        for (auto it = patches.begin(); it != patches.end(); ++it) {
            PatchRecord record = defaultPatch();
            applyPatch(it.value(), baseDir, record, "patch \"" + it.key() + "\"", 0);
            bank.patches[it.key()] = record;
        }
    }
    if (song.contains("programs")) {
        const json& programs = song["programs"];
        requireObject(programs, "programs");
        for (auto it = programs.begin(); it != programs.end(); ++it) {
            const std::string where = "programs." + it.key();
            char* end = nullptr;
            const long program = std::strtol(it.key().c_str(), &end, 10);
            if (it.key().empty() || *end != '\0' || program < 0 || program > 127) {
                fail("programs", "\"" + it.key() + "\" is not a program number 0..127");
            }
            if (!it.value().is_string()) fail(where, "expected a patch name");
            const std::string name = it.value().get<std::string>();
            if (!bank.patches.count(name)) {
                std::vector<std::string> known;
                for (const auto& entry : bank.patches) known.push_back(entry.first);
                std::string message = "unknown patch \"" + name + "\"";
                const std::string near = closestName(known, name);
                if (!near.empty()) message += "; did you mean \"" + near + "\"?";
                fail(where, message);
            }
            bank.programs[static_cast<int32_t>(program)] = name;
        }
    }
    if (!bank.programs.count(0)) {
        fail("programs", "program 0 has no patch; every channel starts on program 0");
    }
    return bank;
}

// One offset table entry per program up to the highest one given; records in
// order of first use, shared by programs that name the same patch; programs
// without a patch point at program 0's record.
std::vector<uint8_t> bankBytes(const Bank& bank) {
    const int32_t entries = bank.programs.rbegin()->first + 1;
    std::vector<std::string> order;
    for (const auto& [program, name] : bank.programs) {
        if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
    }
    std::vector<uint8_t> records;
    std::map<std::string, uint32_t> offsets;
    for (const std::string& name : order) {
        offsets[name] = static_cast<uint32_t>(4 * entries + records.size());
        appendPatchRecord(records, bank.patches.at(name));
    }
    std::vector<uint8_t> bytes;
    for (int32_t program = 0; program < entries; ++program) {
        const auto found = bank.programs.find(program);
        const uint32_t offset =
            offsets.at(found != bank.programs.end() ? found->second : bank.programs.at(0));
        for (int32_t b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(offset >> (8 * b)));
    }
    bytes.insert(bytes.end(), records.begin(), records.end());
    return bytes;
}

// --- channels ---------------------------------------------------------------

// The fields of a point given as [tick, a, b, ...] or as an object.
std::vector<json> pointFields(const json& point, const std::vector<const char*>& names,
                              size_t required, const std::string& where) {
    std::vector<json> fields;
    if (point.is_array()) {
        if (point.size() < required || point.size() > names.size()) {
            fail(where, "expected " + std::to_string(required) + " values, found " +
                            std::to_string(point.size()));
        }
        for (const json& value : point) fields.push_back(value);
        return fields;
    }
    requireObject(point, where);
    checkKeys(point, std::vector<std::string>(names.begin(), names.end()), where);
    for (size_t i = 0; i < names.size(); ++i) {
        const auto found = point.find(names[i]);
        if (found != point.end()) {
            fields.resize(i + 1);
            fields[i] = *found;
        } else if (i < required) {
            fail(where, std::string("missing \"") + names[i] + "\"");
        } else {
            break;
        }
    }
    return fields;
}

template <typename Event>
void sortByTick(std::vector<Event>& events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
}

// Notes become a note-on and a velocity-0 event, in the order of
// orderNoteEvents (so a note may start where the previous one of its key ends).
void compileNotes(const json& list, std::vector<NoteEvent>& events, const std::string& where) {
    requireArray(list, where);
    struct Span {
        uint32_t start, end;
        size_t index;
    };
    std::map<int32_t, std::vector<Span>> byKey;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string at = indexed(where, i);
        const std::vector<json> f = pointFields(list[i], {"tick", "key", "velocity", "length"}, 4, at);
        const uint32_t tick = readTick(f[0], at + ".tick");
        const uint8_t key = static_cast<uint8_t>(readInt(f[1], 0, 127, at + ".key"));
        const uint8_t velocity = static_cast<uint8_t>(readInt(f[2], 1, 127, at + ".velocity"));
        const int64_t length = readInt(f[3], 1, 0xFFFFFFFEll - tick, at + ".length");
        const uint32_t end = tick + static_cast<uint32_t>(length);
        byKey[key].push_back({tick, end, i});
        events.push_back({tick, key, velocity});
        events.push_back({end, key, 0});
    }
    for (auto& [key, spans] : byKey) {
        std::sort(spans.begin(), spans.end(),
                  [](const Span& a, const Span& b) { return a.start < b.start; });
        for (size_t s = 1; s < spans.size(); ++s) {
            if (spans[s].start < spans[s - 1].end) {
                fail(indexed(where, std::max(spans[s].index, spans[s - 1].index)),
                     "overlaps " + indexed(where, std::min(spans[s].index, spans[s - 1].index)) +
                         " on key " + std::to_string(key));
            }
        }
    }
    orderNoteEvents(events);
}

void compileNoteEvents(const json& list, std::vector<NoteEvent>& events, const std::string& where) {
    requireArray(list, where);
    uint32_t last = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string at = indexed(where, i);
        const std::vector<json> f = pointFields(list[i], {"tick", "key", "velocity"}, 3, at);
        const uint32_t tick = readTick(f[0], at + ".tick");
        if (tick < last) fail(at + ".tick", "note events must be in time order");
        last = tick;
        events.push_back({tick, static_cast<uint8_t>(readInt(f[1], 0, 255, at + ".key")),
                          static_cast<uint8_t>(readInt(f[2], 0, 255, at + ".velocity"))});
    }
}

void compileBends(const json& list, std::vector<BendEvent>& events, const std::string& where) {
    requireArray(list, where);
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string at = indexed(where, i);
        const std::vector<json> f = pointFields(list[i], {"tick", "value", "high"}, 2, at);
        const uint32_t tick = readTick(f[0], at + ".tick");
        BendEvent event{tick, 0, 0};
        if (f.size() == 3) {  // raw data bytes: low, high
            event.low = static_cast<uint8_t>(readInt(f[1], 0, 255, at + ".value"));
            event.high = static_cast<uint8_t>(readInt(f[2], 0, 255, at + ".high"));
        } else {
            const int64_t value = readInt(f[1], -8192, 8191, at + ".value") + 8192;
            event.low = static_cast<uint8_t>(value & 127);
            event.high = static_cast<uint8_t>(value >> 7);
        }
        events.push_back(event);
    }
    sortByTick(events);
}

void compileControllers(const json& object, ChannelEvents& channel, const std::string& where) {
    requireObject(object, where);
    checkKeys(object, {"1", "2", "3", "4", "5", "6", "7"}, where);
    for (auto it = object.begin(); it != object.end(); ++it) {
        const int32_t number = it.key()[0] - '0';
        const std::string at = where + "." + it.key();
        requireArray(it.value(), at);
        std::vector<ControllerEvent>& events = channel.controllers[number - 1];
        for (size_t i = 0; i < it.value().size(); ++i) {
            const std::string point = indexed(at, i);
            const std::vector<json> f = pointFields(it.value()[i], {"tick", "value"}, 2, point);
            events.push_back({readTick(f[0], point + ".tick"),
                              static_cast<uint8_t>(readInt(f[1], 0, 127, point + ".value"))});
        }
        sortByTick(events);
    }
}

void requirePatch(const Bank& bank, int32_t program, const std::string& where) {
    if (!bank.programs.count(program)) {
        fail(where, "program " + std::to_string(program) + " has no patch (add it to \"programs\")");
    }
}

void compileChannel(const json& entry, const Bank& bank, ChannelEvents& channel,
                    const std::string& where) {
    if (entry.is_null()) return;
    requireObject(entry, where);
    checkKeys(entry, {"name", "program", "notes", "noteEvents", "programChanges", "bends", "controllers"},
              where);
    if (entry.contains("program")) {
        const int32_t program =
            static_cast<int32_t>(readInt(entry["program"], 0, 127, where + ".program"));
        requirePatch(bank, program, where + ".program");
        channel.programs.push_back({0, static_cast<uint8_t>(program)});
    }
    if (entry.contains("programChanges")) {
        const std::string at = where + ".programChanges";
        const json& list = entry["programChanges"];
        requireArray(list, at);
        std::vector<ProgramEvent> changes;
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string point = indexed(at, i);
            const std::vector<json> f = pointFields(list[i], {"tick", "program"}, 2, point);
            const int32_t program = static_cast<int32_t>(readInt(f[1], 0, 255, point + ".program"));
            requirePatch(bank, program & 127, point + ".program");
            changes.push_back({readTick(f[0], point + ".tick"), static_cast<uint8_t>(program)});
        }
        sortByTick(changes);
        channel.programs.insert(channel.programs.end(), changes.begin(), changes.end());
    }
    if (entry.contains("notes") && entry.contains("noteEvents")) {
        fail(where, "give either \"notes\" or \"noteEvents\", not both");
    }
    if (entry.contains("notes")) compileNotes(entry["notes"], channel.notes, where + ".notes");
    if (entry.contains("noteEvents")) {
        compileNoteEvents(entry["noteEvents"], channel.notes, where + ".noteEvents");
    }
    if (entry.contains("bends")) compileBends(entry["bends"], channel.bends, where + ".bends");
    if (entry.contains("controllers")) {
        compileControllers(entry["controllers"], channel, where + ".controllers");
    }
    const bool hasOthers = !channel.programs.empty() || !channel.bends.empty() ||
                           std::any_of(channel.controllers.begin(), channel.controllers.end(),
                                       [](const auto& c) { return !c.empty(); });
    if (channel.notes.empty() && hasOthers) {
        fail(where, "a channel without notes cannot carry program changes, bends or controllers");
    }
}

void compileSpeech(const json& list, ModuleSource& module) {
    requireArray(list, "speech");
    if (list.size() > static_cast<size_t>(maxSpeechTexts)) {
        fail("speech", "more than " + std::to_string(maxSpeechTexts) + " texts");
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (!list[i].is_string()) fail(indexed("speech", i), "expected a text");
        const std::string text = list[i].get<std::string>();
        if (text.find('\0') != std::string::npos) fail(indexed("speech", i), "contains a zero byte");
        module.speechTexts.push_back(text);
    }
}

void compileInto(const json& song, const std::filesystem::path& baseDir, ModuleSource& module) {
    requireObject(song, "");
    checkKeys(song, {"title", "comment", "timeDivision", "reserved", "tempo", "globals", "patches",
                     "programs", "channels", "speech"},
              "song");
    module = ModuleSource{};
    if (song.contains("timeDivision")) {
        module.timeDivision =
            static_cast<uint32_t>(readInt(song["timeDivision"], 1, 429496, "timeDivision"));
    }
    if (song.contains("reserved")) {
        module.reserved = static_cast<uint32_t>(readInt(song["reserved"], 0, 0xFFFFFFFFll, "reserved"));
    }
    if (song.contains("tempo")) compileTempo(song["tempo"], module);

    std::array<uint8_t, globalParamCount> globals = defaultGlobals();
    if (song.contains("globals")) {
        setNamedBytes(song["globals"], globalParamNames, globalParamCount, globals.data(), "globals",
                      "global parameter");
    }
    module.globalParams.assign(globals.begin(), globals.end());

    const Bank bank = compilePatches(song, baseDir);
    module.patchBlock = bankBytes(bank);

    if (song.contains("channels")) {
        const json& channels = song["channels"];
        requireArray(channels, "channels");
        if (channels.size() > 16) fail("channels", "more than 16 channels");
        for (size_t c = 0; c < channels.size(); ++c) {
            // Users count channels from 1; the path keeps the array index.
            const std::string where = indexed("channels", c) + " (channel " + std::to_string(c + 1) + ")";
            compileChannel(channels[c], bank, module.channels[c], where);
        }
    }
    if (song.contains("speech")) compileSpeech(song["speech"], module);
}

}  // namespace

bool compileSong(const json& song, const std::filesystem::path& baseDir, ModuleSource& module,
                 std::string& error) {
    try {
        compileInto(song, baseDir, module);
        return true;
    } catch (const SongFault& fault) {
        error = fault.message;
    } catch (const json::exception& e) {  // a value of an unexpected kind deep inside
        error = plainJsonMessage(e);
    }
    return false;
}

bool buildSongImage(const std::string& text, const std::filesystem::path& baseDir,
                    std::vector<uint8_t>& image, std::string& error) {
    json song;
    try {
        song = json::parse(text);
    } catch (const json::exception& e) {  // a syntax error, or a number too large (out_of_range)
        error = "not valid JSON: " + plainJsonMessage(e);
        return false;
    }
    ModuleSource module;
    if (!compileSong(song, baseDir, module, error)) return false;
    return writeModule(module, image, error);
}
