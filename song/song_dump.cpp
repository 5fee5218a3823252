// Turns a parsed module back into a song source.
#include <map>
#include "player/byte_reader.h"
#include "song/note_order.h"
#include "song/song.h"
#include "song/song_names.h"
#include "synth/param_index.h"

using nlohmann::ordered_json;

namespace {

// One event of a stream in planes: its absolute tick and its values after
// the running sums.
struct Decoded {
    uint32_t tick;
    uint8_t value[2];
};

std::vector<Decoded> decodeStream(const uint8_t* stream, uint32_t count, int32_t values) {
    std::vector<Decoded> events;
    uint32_t tick = 0;
    uint8_t running[2] = {0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        tick += stream[i] | stream[count + i] << 8 | stream[2 * count + i] << 16;
        Decoded event{tick, {0, 0}};
        for (int32_t v = 0; v < values; ++v) {
            running[v] = static_cast<uint8_t>(running[v] + stream[(3 + v) * count + i]);
            event.value[v] = running[v];
        }
        events.push_back(event);
    }
    return events;
}

ordered_json dumpTempo(const ModuleView& view) {
    ordered_json list = ordered_json::array();
    const uint32_t g = view.globalEventCount;
    const uint8_t* s = view.globalStream;
    uint32_t tick = 0;
    for (uint32_t i = 0; i < g; ++i) {
        tick += s[i] | s[g + i] << 8 | s[2 * g + i] << 16;
        list.push_back({{"tick", tick},
                        {"microsPerBeat", wordAt(s + 3 * g + 4 * i)},
                        {"numerator", s[7 * g + i]},
                        {"denominator", s[8 * g + i]},
                        {"third", s[9 * g + i]}});
    }
    return list;
}

ordered_json namedBytes(const uint8_t* bytes, const char* const* names, int32_t count) {
    ordered_json object = ordered_json::object();
    for (int32_t i = 0; i < count; ++i) object[names[i]] = bytes[i];
    return object;
}

ordered_json nameOrByte(uint8_t value, const char* const* names, int32_t count) {
    if (value < count) return names[value];
    return value;
}

ordered_json dumpPatch(const uint8_t* record) {
    ordered_json patch = ordered_json::object();
    patch["polyphony"] = record[patchPolyphonyOffset];
    patch["params"] = namedBytes(record, patchParamNames, patchParamCount);
    ordered_json routings = ordered_json::array();
    const uint8_t* r = record + patchRoutingsOffset;
    for (int32_t i = 0; i < record[patchRoutingCountOffset]; ++i, r += 3) {
        routings.push_back({{"source", nameOrByte(r[0], modSourceNames, modSourceCount)},
                            {"amount", r[1]},
                            {"destination", nameOrByte(r[2], patchParamNames, patchParamCount)}});
    }
    if (!routings.empty()) patch["modulation"] = routings;
    return patch;
}

// The bank's offset table ends where its first record begins; entries that
// point outside the block or at an incomplete record are left out.
void dumpBank(const ModuleView& view, ordered_json& song) {
    const uint8_t* bank = view.patchBlock;
    const uint32_t size = view.patchBlockSize;
    uint32_t tableEnd = size;
    std::map<uint32_t, std::string> names;  // record offset -> patch name
    ordered_json patches = ordered_json::object();
    ordered_json programs = ordered_json::object();
    for (uint32_t p = 0; p < 128 && 4 * p + 4 <= tableEnd; ++p) {
        const uint32_t offset = wordAt(bank + 4 * p);
        if (offset < 4 * p + 4 || offset > size - 86 || size < 86) continue;
        if (offset + 86 + 3u * bank[offset + patchRoutingCountOffset] > size) continue;
        tableEnd = std::min(tableEnd, offset);
        if (!names.count(offset)) {
            const std::string name = "patch" + std::to_string(names.size());
            names[offset] = name;
            patches[name] = dumpPatch(bank + offset);
        }
        programs[std::to_string(p)] = names[offset];
    }
    song["patches"] = patches;
    song["programs"] = programs;
}

// Pairs each note-on with the next velocity-0 event of its key; the pairs
// stand for the stream only if writing them back gives the same events.
bool pairNotes(const std::vector<NoteEvent>& events, ordered_json& notes) {
    std::vector<NoteEvent> rebuilt;
    notes = ordered_json::array();
    std::map<uint8_t, size_t> sounding;  // key -> index in notes
    std::vector<uint32_t> starts;
    for (const NoteEvent& e : events) {
        if (e.key > 127 || e.velocity > 127) return false;
        if (e.velocity != 0) {
            if (sounding.count(e.key)) return false;
            sounding[e.key] = notes.size();
            notes.push_back({e.tick, e.key, e.velocity, 0});
            starts.push_back(e.tick);
        } else {
            const auto on = sounding.find(e.key);
            if (on == sounding.end() || e.tick == starts[on->second]) return false;
            notes[on->second][3] = e.tick - starts[on->second];
            sounding.erase(on);
        }
        rebuilt.push_back(e);
    }
    if (!sounding.empty()) return false;
    orderNoteEvents(rebuilt);
    for (size_t i = 0; i < events.size(); ++i) {
        if (rebuilt[i].tick != events[i].tick || rebuilt[i].key != events[i].key ||
            rebuilt[i].velocity != events[i].velocity) {
            return false;
        }
    }
    return true;
}

ordered_json dumpChannel(const ChannelStreams& streams) {
    ordered_json channel = ordered_json::object();
    std::vector<NoteEvent> notes;
    for (const Decoded& d : decodeStream(streams.notes, streams.noteCount, 2)) {
        notes.push_back({d.tick, d.value[0], d.value[1]});
    }
    ordered_json paired;
    if (pairNotes(notes, paired)) {
        channel["notes"] = paired;
    } else {
        ordered_json raw = ordered_json::array();
        for (const NoteEvent& e : notes) raw.push_back({e.tick, e.key, e.velocity});
        channel["noteEvents"] = raw;
    }
    if (streams.programCount) {
        ordered_json list = ordered_json::array();
        for (const Decoded& d : decodeStream(streams.programs, streams.programCount, 1)) {
            list.push_back({d.tick, d.value[0]});
        }
        channel["programChanges"] = list;
    }
    if (streams.bendCount) {
        ordered_json list = ordered_json::array();
        for (const Decoded& d : decodeStream(streams.bends, streams.bendCount, 2)) {
            if (d.value[0] < 128 && d.value[1] < 128) {
                list.push_back({d.tick, (d.value[1] << 7 | d.value[0]) - 8192});
            } else {
                list.push_back({d.tick, d.value[0], d.value[1]});
            }
        }
        channel["bends"] = list;
    }
    ordered_json controllers = ordered_json::object();
    for (int32_t c = 0; c < 7; ++c) {
        if (!streams.controllerCount[c]) continue;
        ordered_json list = ordered_json::array();
        for (const Decoded& d : decodeStream(streams.controllers[c], streams.controllerCount[c], 1)) {
            list.push_back({d.tick, d.value[0]});
        }
        controllers[std::to_string(c + 1)] = list;
    }
    if (!controllers.empty()) channel["controllers"] = controllers;
    return channel;
}

}  // namespace

ordered_json dumpModule(const ModuleView& view) {
    ordered_json song = ordered_json::object();
    song["timeDivision"] = view.timeDivision;
    if (view.reserved) song["reserved"] = view.reserved;
    if (view.globalEventCount) song["tempo"] = dumpTempo(view);
    if (view.globalParamSize >= globalParamCount) {
        song["globals"] = namedBytes(view.globalParams, globalParamNames, globalParamCount);
    }
    dumpBank(view, song);
    ordered_json channels = ordered_json::array();
    size_t used = 0;
    for (int32_t c = 0; c < 16; ++c) {
        if (view.channels[c].noteCount == 0) {
            channels.push_back(nullptr);
            continue;
        }
        channels.push_back(dumpChannel(view.channels[c]));
        used = static_cast<size_t>(c) + 1;
    }
    while (channels.size() > used) channels.erase(channels.size() - 1);
    song["channels"] = channels;
    if (view.speechBlock) {
        const uint32_t count = wordAt(view.speechBlock);
        ordered_json texts = ordered_json::array();
        for (uint32_t i = 0; i < count && i < speechTableSlots; ++i) texts.push_back(view.speechTexts[i]);
        song["speech"] = texts;
    }
    return song;
}
