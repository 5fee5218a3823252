// Compiles a song source (JSON) into the events, patches and blocks of a
// module. Every check names the place in the source and the problem.
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <string_view>
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
        fail(where, unknownNameMessage("key", it.key(), allowed));
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

// A list compiled one element at a time, from a tree or as the parser reads
// it. Its first fault stops it and is raised when the list's turn comes in
// the compile order, so a file with several faults reports the same one
// either way.
struct ListState {
    std::string where;
    size_t count = 0;  // elements given so far
    bool failed = false;
    std::string fault;
};

template <typename List>
void feed(List& list, const json& element) {
    ListState& state = list.state;
    if (state.failed) return;
    try {
        list.add(element, state.count++);
    } catch (const SongFault& fault) {
        state.failed = true;
        state.fault = fault.message;
    } catch (const json::exception& e) {
        state.failed = true;
        state.fault = plainJsonMessage(e);
    }
}

// Feeds the elements a tree holds (none when the parser streamed them),
// then raises the list's fault, if any.
template <typename List>
void feedAndCheck(List& list, const json& value) {
    requireArray(value, list.state.where);
    for (const json& element : value) feed(list, element);
    if (list.state.failed) fail("", list.state.fault);
}

// Grows a list by a quarter at a time: the lists are most of what the
// builder holds, and a doubling vector may hold twice its events (and three
// times while it moves them).
template <typename Event>
std::vector<Event>& roomForOne(std::vector<Event>& events) {
    if (events.size() == events.capacity()) events.reserve(events.size() + events.size() / 4 + 64);
    return events;
}

struct TempoList {
    ListState state{"tempo", 0, false, {}};
    std::vector<TempoEvent> events;
    TempoEvent previous{0, 500000};

    void add(const json& entry, size_t i) {
        const std::string where = indexed("tempo", i);
        requireObject(entry, where);
        checkKeys(entry, {"tick", "bpm", "microsPerBeat", "numerator", "denominator", "third"},
                  where);
        TempoEvent event = previous;
        event.tick = readTick(member(entry, "tick", where), where + ".tick");
        if (event.tick < previous.tick) fail(where + ".tick", "tempo changes must be in time order");
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
                readInt(entry["microsPerBeat"], minTempoMicros, maxTempoMicros, where + ".microsPerBeat"));
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
        roomForOne(events).push_back(event);
        previous = event;
    }
};

// --- parameters, patches and the bank --------------------------------------

void setNamedBytes(const json& values, const char* const* names, int32_t count,
                   uint8_t* bytes, const std::string& where, const char* what) {
    requireObject(values, where);
    const std::vector<std::string> known = nameList(names, count);
    for (auto it = values.begin(); it != values.end(); ++it) {
        const int32_t index = findName(names, count, it.key());
        if (index < 0) {
            fail(where, unknownNameMessage(what, it.key(), known));
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
    fail(where, unknownNameMessage(what, name, nameList(names, count)));
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
            applyPatch(it.value(), baseDir, record, "patch " + quotedName(it.key()), 0);
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
                fail("programs", quotedName(it.key()) + " is not a program number 0..127");
            }
            if (!it.value().is_string()) fail(where, "expected a patch name");
            const std::string name = it.value().get<std::string>();
            if (!bank.patches.count(name)) {
                std::vector<std::string> known;
                for (const auto& entry : bank.patches) known.push_back(entry.first);
                fail(where, unknownNameMessage("patch", name, known));
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
struct NotesList {
    ListState state;
    std::vector<NoteEvent> events;  // note i is events 2i (on) and 2i + 1 (off) until finish

    void add(const json& point, size_t i) {
        const std::string at = indexed(state.where, i);
        const std::vector<json> f = pointFields(point, {"tick", "key", "velocity", "length"}, 4, at);
        const uint32_t tick = readTick(f[0], at + ".tick");
        const uint8_t key = static_cast<uint8_t>(readInt(f[1], 0, 127, at + ".key"));
        const uint8_t velocity = static_cast<uint8_t>(readInt(f[2], 1, 127, at + ".velocity"));
        const int64_t length = readInt(f[3], 1, 0xFFFFFFFEll - tick, at + ".length");
        roomForOne(events).push_back({tick, key, velocity});
        roomForOne(events).push_back({tick + static_cast<uint32_t>(length), key, 0});
    }

    // Two notes of one key overlap when, in order of start, one starts
    // before the previous ends; the first such pair, by key, is reported.
    void checkOverlaps() const {
        std::vector<uint32_t> order(events.size() / 2);
        for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
            const NoteEvent& x = events[2 * a];
            const NoteEvent& y = events[2 * b];
            if (x.key != y.key) return x.key < y.key;
            return x.tick != y.tick ? x.tick < y.tick : a < b;
        });
        for (size_t s = 1; s < order.size(); ++s) {
            const uint32_t a = order[s - 1], b = order[s];
            const uint8_t key = events[2 * b].key;
            if (events[2 * a].key == key && events[2 * b].tick < events[2 * a + 1].tick) {
                fail(indexed(state.where, std::max(a, b)),
                     "overlaps " + indexed(state.where, std::min(a, b)) + " on key " + std::to_string(key));
            }
        }
    }

    void finish() {
        checkOverlaps();
        orderNoteEvents(events);
    }
};

struct NoteEventsList {
    ListState state;
    std::vector<NoteEvent> events;

    void add(const json& point, size_t i) {
        const std::string at = indexed(state.where, i);
        const std::vector<json> f = pointFields(point, {"tick", "key", "velocity"}, 3, at);
        const uint32_t tick = readTick(f[0], at + ".tick");
        if (!events.empty() && tick < events.back().tick) fail(at + ".tick", "note events must be in time order");
        roomForOne(events).push_back({tick, static_cast<uint8_t>(readInt(f[1], 0, 255, at + ".key")),
                          static_cast<uint8_t>(readInt(f[2], 0, 255, at + ".velocity"))});
    }
};

struct BendsList {
    ListState state;
    std::vector<BendEvent> events;

    void add(const json& point, size_t i) {
        const std::string at = indexed(state.where, i);
        const std::vector<json> f = pointFields(point, {"tick", "value", "high"}, 2, at);
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
        roomForOne(events).push_back(event);
    }
};

struct ControllerList {
    ListState state;
    std::vector<ControllerEvent> events;

    void add(const json& point, size_t i) {
        const std::string at = indexed(state.where, i);
        const std::vector<json> f = pointFields(point, {"tick", "value"}, 2, at);
        roomForOne(events).push_back({readTick(f[0], at + ".tick"),
                          static_cast<uint8_t>(readInt(f[1], 0, 127, at + ".value"))});
    }
};

void requirePatch(const Bank& bank, int32_t program, const std::string& where) {
    if (!bank.programs.count(program)) {
        fail(where, "program " + std::to_string(program) + " has no patch (add it to \"programs\")");
    }
}

// Each change is checked against the bank (known only once the whole file
// is read) between its program's range and its tick, as one pass would.
struct ProgramChangeList {
    ListState state;
    std::vector<ProgramEvent> events;

    void add(const json& point, size_t i) {
        const std::string at = indexed(state.where, i);
        const std::vector<json> f = pointFields(point, {"tick", "program"}, 2, at);
        const int32_t program = static_cast<int32_t>(readInt(f[1], 0, 255, at + ".program"));
        roomForOne(events).push_back({0, static_cast<uint8_t>(program)});  // checked against the bank even if its tick fails
        events.back().tick = readTick(f[0], at + ".tick");
    }

    void checkPatches(const Bank& bank) {
        for (size_t i = 0; i < events.size(); ++i) {
            requirePatch(bank, events[i].program & 127, indexed(state.where, i) + ".program");
        }
    }
};

// The lists of one channel, named by their place in the source.
struct ChannelLists {
    NotesList notes;
    NoteEventsList noteEvents;
    ProgramChangeList programChanges;
    BendsList bends;
    std::array<ControllerList, 7> controllers;
};

struct SongLists {
    TempoList tempo;
    std::array<ChannelLists, 16> channels;
    const SongListSizes* sizes = nullptr;  // read as a list begins
};

std::string channelPlace(size_t c) {
    // Users count channels from 1; the path keeps the array index.
    return indexed("channels", c) + " (channel " + std::to_string(c + 1) + ")";
}

ChannelLists freshChannelLists(size_t c) {
    const std::string where = channelPlace(c);
    ChannelLists lists;
    lists.notes.state.where = where + ".notes";
    lists.noteEvents.state.where = where + ".noteEvents";
    lists.programChanges.state.where = where + ".programChanges";
    lists.bends.state.where = where + ".bends";
    for (size_t n = 0; n < 7; ++n) lists.controllers[n].state.where = where + ".controllers." + std::to_string(n + 1);
    return lists;
}

void compileProgramChanges(const json& value, ProgramChangeList& list, const Bank& bank,
                           ChannelEvents& channel) {
    requireArray(value, list.state.where);
    for (const json& element : value) feed(list, element);
    // The changes before a fault, and the one whose tick failed, were
    // checked against the bank before it.
    list.checkPatches(bank);
    if (list.state.failed) fail("", list.state.fault);
    sortByTick(list.events);
    channel.programs.insert(channel.programs.end(), list.events.begin(), list.events.end());
}

void compileControllers(const json& object, ChannelLists& lists, ChannelEvents& channel,
                        const std::string& where) {
    requireObject(object, where);
    checkKeys(object, {"1", "2", "3", "4", "5", "6", "7"}, where);
    for (auto it = object.begin(); it != object.end(); ++it) {
        const int32_t number = it.key()[0] - '0';
        ControllerList& list = lists.controllers[number - 1];
        feedAndCheck(list, it.value());
        sortByTick(list.events);
        channel.controllers[number - 1] = std::move(list.events);
    }
}

void compileChannel(const json& entry, const Bank& bank, ChannelLists& lists, ChannelEvents& channel,
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
        compileProgramChanges(entry["programChanges"], lists.programChanges, bank, channel);
    }
    if (entry.contains("notes") && entry.contains("noteEvents")) {
        fail(where, "give either \"notes\" or \"noteEvents\", not both");
    }
    if (entry.contains("notes")) {
        feedAndCheck(lists.notes, entry["notes"]);
        lists.notes.finish();
        channel.notes = std::move(lists.notes.events);
    }
    if (entry.contains("noteEvents")) {
        feedAndCheck(lists.noteEvents, entry["noteEvents"]);
        channel.notes = std::move(lists.noteEvents.events);
    }
    if (entry.contains("bends")) {
        feedAndCheck(lists.bends, entry["bends"]);
        sortByTick(lists.bends.events);
        channel.bends = std::move(lists.bends.events);
    }
    if (entry.contains("controllers")) {
        compileControllers(entry["controllers"], lists, channel, where + ".controllers");
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

std::unique_ptr<SongLists> makeSongLists() {
    auto lists = std::make_unique<SongLists>();
    for (size_t c = 0; c < 16; ++c) lists->channels[c] = freshChannelLists(c);
    return lists;
}

void compileInto(const json& song, SongLists& lists, const std::filesystem::path& baseDir,
                 ModuleSource& module) {
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
    if (song.contains("tempo")) {
        feedAndCheck(lists.tempo, song["tempo"]);
        module.tempos = std::move(lists.tempo.events);
    }

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
            compileChannel(channels[c], bank, lists.channels[c], module.channels[c], channelPlace(c));
        }
    }
    if (song.contains("speech")) compileSpeech(song["speech"], module);
}

bool compileTree(const json& song, SongLists& lists, const std::filesystem::path& baseDir,
                 ModuleSource& module, std::string& error) {
    try {
        compileInto(song, lists, baseDir, module);
        return true;
    } catch (const SongFault& fault) {
        error = fault.message;
    } catch (const json::exception& e) {  // a value of an unexpected kind deep inside
        error = plainJsonMessage(e);
    }
    return false;
}

// --- reading a source without holding it as one tree ----------------------

// What an open object or list of the source is to the reader.
enum class Role { top, channels, channel, controllers, patches, patch, other, list, element };

struct OpenValue {
    json* value;
    Role role;
    size_t channel;  // for channel and controllers
};

// The most values the reader keeps as a tree outside the long lists (and
// in one element of them): far more than any song's patches, programs,
// globals and speech need, and a bound on what a hostile source can make it
// hold.
constexpr size_t maxTreeValues = size_t(1) << 18;

template <typename List>
void restart(List& list) {
    const std::string where = list.state.where;
    list = List{};
    list.state.where = where;
}

// Reads a song source through nlohmann's SAX interface: the small parts
// into a tree, the long lists (the tempo map, a channel's notes, note
// events, program changes, bends and controllers) element by element
// straight into their compiled lists (the tree keeps an empty list in their
// place), and free text (title, comment, names, descriptions) not at all.
// A source thus takes little more memory than its events.
struct SongReader {
    SongLists& lists;
    json top;
    json element;                  // the list element being read
    std::vector<OpenValue> open;
    std::string pendingKey;        // the key whose value comes next
    size_t skipDepth = 0;          // above 0 inside a value that is not kept
    std::function<void(const json&)> feedList;  // the list being read, element by element
    std::string error;
    size_t treeValues = 0;         // values kept in top
    size_t elementValues = 0;      // values kept in element

    // Counts a value about to be kept; false (and the parse ends) past the bound.
    bool keep(Role parent) {
        size_t& kept = parent == Role::list || parent == Role::element ? elementValues : treeValues;
        if (++kept <= maxTreeValues) return true;
        error = "more than " + std::to_string(maxTreeValues) +
                " values outside the event lists (or in one event); no song needs that many";
        return false;
    }

    bool skippedKey(const OpenValue& parent) const {
        if (!parent.value->is_object()) return false;
        switch (parent.role) {
            case Role::top: return pendingKey == "title" || pendingKey == "comment";
            case Role::channel: return pendingKey == "name";
            case Role::patch: return pendingKey == "description";
            default: return false;
        }
    }

    // The list of the source that the list opening here is, if any.
    std::function<void(const json&)> streamedList(const OpenValue& parent) {
        if (parent.role == Role::top && pendingKey == "tempo") {
            restart(lists.tempo);
            lists.tempo.events.reserve(lists.sizes ? lists.sizes->tempo : 0);
            return [this](const json& e) { feed(lists.tempo, e); };
        }
        if (parent.role == Role::controllers && pendingKey.size() == 1 && pendingKey[0] >= '1' && pendingKey[0] <= '7') {
            ControllerList& list = lists.channels[parent.channel].controllers[pendingKey[0] - '1'];
            restart(list);
            return [&list](const json& e) { feed(list, e); };
        }
        if (parent.role != Role::channel) return nullptr;
        ChannelLists& channel = lists.channels[parent.channel];
        if (pendingKey == "notes") return streamInto(channel.notes, expectedNoteEvents(parent.channel));
        if (pendingKey == "noteEvents") return streamInto(channel.noteEvents, expectedNoteEvents(parent.channel));
        if (pendingKey == "programChanges") return streamInto(channel.programChanges);
        if (pendingKey == "bends") return streamInto(channel.bends);
        return nullptr;
    }

    // What the writer of the source said of the channel's note events.
    size_t expectedNoteEvents(size_t channel) const { return lists.sizes ? lists.sizes->noteEvents[channel] : 0; }

    template <typename List>
    std::function<void(const json&)> streamInto(List& list, size_t expected = 0) {
        restart(list);
        list.events.reserve(expected);
        return [&list](const json& e) { feed(list, e); };
    }

    Role childRole(const OpenValue& parent, bool object) const {
        const bool named = parent.value->is_object();
        if (parent.role == Role::top && named && pendingKey == "channels" && !object) return Role::channels;
        if (parent.role == Role::top && named && pendingKey == "patches" && object) return Role::patches;
        if (parent.role == Role::patches && object) return Role::patch;
        if (parent.role == Role::channels && object) return Role::channel;
        if (parent.role == Role::channel && pendingKey == "controllers" && object) return Role::controllers;
        if (parent.role == Role::list || parent.role == Role::element) return Role::element;
        return Role::other;
    }

    json* place(OpenValue& parent, json value) {
        if (parent.value->is_array()) {
            parent.value->push_back(std::move(value));
            return &parent.value->back();
        }
        json& slot = (*parent.value)[pendingKey];
        slot = std::move(value);
        return &slot;
    }

    bool begin(json value, bool object) {
        if (skipDepth > 0 || open.empty()) {
            if (skipDepth > 0) {
                ++skipDepth;
            } else {
                top = std::move(value);
                open.push_back({&top, Role::top, 0});
            }
            return true;
        }
        OpenValue& parent = open.back();
        if (parent.role == Role::list) elementValues = 0;
        if (!keep(parent.role)) return false;
        if (parent.role == Role::list) {
            element = std::move(value);
            open.push_back({&element, Role::element, 0});
            return true;
        }
        // Free text, and channels past the sixteenth (refused before they are
        // looked at), leave only a place holder.
        const size_t index = parent.value->size();
        if (skippedKey(parent) || (parent.role == Role::channels && index >= 16)) {
            place(parent, nullptr);
            skipDepth = 1;
            return true;
        }
        if (!object && parent.value->is_object()) {
            if (auto list = streamedList(parent)) {
                json* slot = place(parent, json::array());
                feedList = std::move(list);
                open.push_back({slot, Role::list, 0});
                return true;
            }
        }
        const Role role = childRole(parent, object);
        const size_t channel = role == Role::channel ? index : parent.channel;
        if (role == Role::channel) lists.channels[channel] = freshChannelLists(channel);
        json* slot = place(parent, std::move(value));
        open.push_back({slot, role, channel});
        return true;
    }

    bool end() {
        if (skipDepth > 0) {
            --skipDepth;
            return true;
        }
        const Role role = open.back().role;
        open.pop_back();
        if (role == Role::list) feedList = nullptr;
        if (role == Role::element && !open.empty() && open.back().role == Role::list) {
            feedList(element);
            element = json();
        }
        return true;
    }

    bool put(json value) {
        if (skipDepth > 0) return true;
        if (open.empty()) {
            top = std::move(value);
            return true;
        }
        OpenValue& parent = open.back();
        if (parent.role == Role::list) elementValues = 0;
        if (!keep(parent.role)) return false;
        if (parent.role == Role::list) {
            feedList(value);
        } else {
            place(parent, skippedKey(parent) ? json() : std::move(value));
        }
        return true;
    }

    // The SAX interface.
    bool null() { return put(nullptr); }
    bool boolean(bool value) { return put(value); }
    bool number_integer(json::number_integer_t value) { return put(value); }
    bool number_unsigned(json::number_unsigned_t value) { return put(value); }
    bool number_float(json::number_float_t value, const std::string&) { return put(value); }
    bool string(std::string& value) { return put(std::move(value)); }
    bool binary(json::binary_t& value) { return put(json::binary(std::move(value))); }
    bool start_object(size_t) { return begin(json::object(), true); }
    bool start_array(size_t) { return begin(json::array(), false); }
    bool end_object() { return end(); }
    bool end_array() { return end(); }
    bool key(std::string& name) {
        if (skipDepth == 0) pendingKey = std::move(name);
        return true;
    }
    bool parse_error(size_t, const std::string&, const json::exception& e) {
        error = "not valid JSON: " + plainJsonMessage(e);  // a syntax error, or a number too large
        return false;
    }
};

}  // namespace

bool compileSong(const json& song, const std::filesystem::path& baseDir, ModuleSource& module,
                 std::string& error) {
    const std::unique_ptr<SongLists> lists = makeSongLists();
    return compileTree(song, *lists, baseDir, module, error);
}

namespace {

// Parses with parse(reader), then compiles and writes the module.
template <typename Parse>
bool buildWith(Parse parse, const std::filesystem::path& baseDir, std::vector<uint8_t>& image,
               std::string& error, const SongListSizes* sizes = nullptr) {
    std::unique_ptr<SongLists> lists = makeSongLists();
    lists->sizes = sizes;
    SongReader reader{*lists, {}, {}, {}, {}, 0, nullptr, {}};
    if (!parse(reader)) {
        error = reader.error;
        return false;
    }
    ModuleSource module;
    if (!compileTree(reader.top, *lists, baseDir, module, error)) return false;
    lists.reset();
    return writeModule(module, image, error);
}

}  // namespace

bool buildSongImage(std::string_view text, const std::filesystem::path& baseDir,
                    std::vector<uint8_t>& image, std::string& error) {
    return buildWith([text](SongReader& reader) { return json::sax_parse(text.begin(), text.end(), &reader); },
                     baseDir, image, error);
}

bool buildSongImage(std::istream& source, const std::filesystem::path& baseDir, std::vector<uint8_t>& image,
                    std::string& error, const SongListSizes* sizes) {
    return buildWith([&source](SongReader& reader) { return json::sax_parse(source, &reader); }, baseDir,
                     image, error, sizes);
}
