// Turns a parsed module back into a song source, written as it is walked.
#include <array>
#include <map>
#include "player/byte_reader.h"
#include "song/json_writer.h"
#include "song/song.h"
#include "song/song_names.h"
#include "synth/param_index.h"

namespace {

// Walks a stream in planes: each event's absolute tick and its values after
// the running sums.
struct StreamCursor {
    const uint8_t* stream;
    uint32_t count;
    uint32_t index = 0;
    uint32_t tick = 0;
    uint8_t value[2] = {0, 0};
};

void advance(StreamCursor& c, int32_t values) {
    const uint8_t* s = c.stream;
    const uint32_t n = c.count, i = c.index++;
    c.tick += s[i] | s[n + i] << 8 | s[2 * n + i] << 16;
    for (int32_t v = 0; v < values; ++v) c.value[v] = static_cast<uint8_t>(c.value[v] + s[(3 + v) * n + i]);
}

void numberMember(JsonWriter& w, const char* key, int64_t value) {
    jsonKey(w, key);
    jsonNumber(w, value);
}

void numberList(JsonWriter& w, std::initializer_list<int64_t> values) {
    jsonBeginList(w);
    for (int64_t v : values) jsonNumber(w, v);
    jsonEnd(w);
}

void dumpTempo(JsonWriter& w, const ModuleView& view) {
    const uint32_t g = view.globalEventCount;
    const uint8_t* s = view.globalStream;
    uint32_t tick = 0;
    jsonKey(w, "tempo");
    jsonBeginList(w);
    for (uint32_t i = 0; i < g; ++i) {
        tick += s[i] | s[g + i] << 8 | s[2 * g + i] << 16;
        jsonBeginObject(w);
        numberMember(w, "tick", tick);
        numberMember(w, "microsPerBeat", wordAt(s + 3 * g + 4 * i));
        numberMember(w, "numerator", s[7 * g + i]);
        numberMember(w, "denominator", s[8 * g + i]);
        numberMember(w, "third", s[9 * g + i]);
        jsonEnd(w);
    }
    jsonEnd(w);
}

void namedBytes(JsonWriter& w, const uint8_t* bytes, const char* const* names, int32_t count) {
    jsonBeginObject(w);
    for (int32_t i = 0; i < count; ++i) numberMember(w, names[i], bytes[i]);
    jsonEnd(w);
}

void nameOrByte(JsonWriter& w, uint8_t value, const char* const* names, int32_t count) {
    if (value < count) {
        jsonString(w, names[value]);
    } else {
        jsonNumber(w, value);
    }
}

void dumpPatch(JsonWriter& w, const uint8_t* record) {
    jsonBeginObject(w);
    numberMember(w, "polyphony", record[patchPolyphonyOffset]);
    jsonKey(w, "params");
    namedBytes(w, record, patchParamNames, patchParamCount);
    const uint8_t* r = record + patchRoutingsOffset;
    if (record[patchRoutingCountOffset]) {
        jsonKey(w, "modulation");
        jsonBeginList(w);
        for (int32_t i = 0; i < record[patchRoutingCountOffset]; ++i, r += 3) {
            jsonBeginObject(w);
            jsonKey(w, "source");
            nameOrByte(w, r[0], modSourceNames, modSourceCount);
            numberMember(w, "amount", r[1]);
            jsonKey(w, "destination");
            nameOrByte(w, r[2], patchParamNames, patchParamCount);
            jsonEnd(w);
        }
        jsonEnd(w);
    }
    jsonEnd(w);
}

// The bank's offset table ends where its first record begins; entries that
// point outside the block or at an incomplete record are left out.
void dumpBank(JsonWriter& w, const ModuleView& view) {
    const uint8_t* bank = view.patchBlock;
    const uint32_t size = view.patchBlockSize;
    uint32_t tableEnd = size;
    std::map<uint32_t, std::string> names;  // record offset -> patch name
    std::vector<std::pair<int32_t, std::string>> programs;
    jsonKey(w, "patches");
    jsonBeginObject(w);
    for (uint32_t p = 0; p < 128 && 4 * p + 4 <= tableEnd; ++p) {
        const uint32_t offset = wordAt(bank + 4 * p);
        if (offset < 4 * p + 4 || offset > size - 86 || size < 86) continue;
        if (offset + 86 + 3u * bank[offset + patchRoutingCountOffset] > size) continue;
        tableEnd = std::min(tableEnd, offset);
        if (!names.count(offset)) {
            const std::string name = "patch" + std::to_string(names.size());
            names[offset] = name;
            jsonKey(w, name);
            dumpPatch(w, bank + offset);
        }
        programs.push_back({static_cast<int32_t>(p), names[offset]});
    }
    jsonEnd(w);
    jsonKey(w, "programs");
    jsonBeginObject(w);
    for (const auto& [program, name] : programs) {
        jsonKey(w, std::to_string(program));
        jsonString(w, name);
    }
    jsonEnd(w);
}

struct PairedNote {
    uint32_t tick, length;
    uint8_t key, velocity;
};

// The order notes are written in: by tick, at one tick note-offs first,
// each group by key.
bool inWrittenOrder(uint32_t tick, uint8_t key, uint8_t velocity, uint32_t lastTick, int32_t lastRank) {
    if (tick != lastTick) return tick > lastTick;
    return (velocity ? 128 : 0) + key >= lastRank;
}

// Pairs each note-on with the next velocity-0 event of its key; the pairs
// stand for the stream only if writing them back gives the same events, that
// is when the stream is already in the order notes are written in.
bool pairNotes(const ChannelStreams& streams, std::vector<PairedNote>& notes) {
    std::array<int64_t, 128> sounding;  // key -> index in notes, -1 when silent
    sounding.fill(-1);
    StreamCursor c{streams.notes, streams.noteCount};
    uint32_t lastTick = 0;
    int32_t lastRank = 0;
    while (c.index < c.count) {
        advance(c, 2);
        const uint8_t key = c.value[0], velocity = c.value[1];
        if (key > 127 || velocity > 127) return false;
        if (!inWrittenOrder(c.tick, key, velocity, lastTick, lastRank)) return false;
        lastTick = c.tick;
        lastRank = (velocity ? 128 : 0) + key;
        int64_t& on = sounding[key];
        if (velocity != 0) {
            if (on >= 0) return false;
            on = static_cast<int64_t>(notes.size());
            notes.push_back({c.tick, 0, key, velocity});
        } else {
            if (on < 0 || c.tick == notes[on].tick) return false;
            notes[on].length = c.tick - notes[on].tick;
            on = -1;
        }
    }
    for (int64_t on : sounding) {
        if (on >= 0) return false;
    }
    return true;
}

void dumpNotes(JsonWriter& w, const ChannelStreams& streams) {
    std::vector<PairedNote> notes;
    if (pairNotes(streams, notes)) {
        jsonKey(w, "notes");
        jsonBeginList(w);
        for (const PairedNote& n : notes) numberList(w, {n.tick, n.key, n.velocity, n.length});
        jsonEnd(w);
        return;
    }
    notes = {};
    jsonKey(w, "noteEvents");
    jsonBeginList(w);
    for (StreamCursor c{streams.notes, streams.noteCount}; c.index < c.count;) {
        advance(c, 2);
        numberList(w, {c.tick, c.value[0], c.value[1]});
    }
    jsonEnd(w);
}

// A stream of one value byte as [tick, value] points.
void dumpPoints(JsonWriter& w, const char* key, const uint8_t* stream, uint32_t count) {
    jsonKey(w, key);
    jsonBeginList(w);
    for (StreamCursor c{stream, count}; c.index < c.count;) {
        advance(c, 1);
        numberList(w, {c.tick, c.value[0]});
    }
    jsonEnd(w);
}

void dumpBends(JsonWriter& w, const ChannelStreams& streams) {
    jsonKey(w, "bends");
    jsonBeginList(w);
    for (StreamCursor c{streams.bends, streams.bendCount}; c.index < c.count;) {
        advance(c, 2);
        if (c.value[0] < 128 && c.value[1] < 128) {
            numberList(w, {c.tick, (c.value[1] << 7 | c.value[0]) - 8192});
        } else {
            numberList(w, {c.tick, c.value[0], c.value[1]});
        }
    }
    jsonEnd(w);
}

void dumpChannel(JsonWriter& w, const ChannelStreams& streams) {
    jsonBeginObject(w);
    dumpNotes(w, streams);
    if (streams.programCount) dumpPoints(w, "programChanges", streams.programs, streams.programCount);
    if (streams.bendCount) dumpBends(w, streams);
    bool anyController = false;
    for (int32_t c = 0; c < 7; ++c) {
        if (!streams.controllerCount[c]) continue;
        if (!anyController) {
            jsonKey(w, "controllers");
            jsonBeginObject(w);
            anyController = true;
        }
        dumpPoints(w, std::to_string(c + 1).c_str(), streams.controllers[c], streams.controllerCount[c]);
    }
    if (anyController) jsonEnd(w);
    jsonEnd(w);
}

}  // namespace

bool dumpModule(const ModuleView& view, const TextSink& sink) {
    JsonWriter w{sink, {}, {}, false, false};
    jsonBeginObject(w);
    numberMember(w, "timeDivision", view.timeDivision);
    if (view.reserved) numberMember(w, "reserved", view.reserved);
    if (view.globalEventCount) dumpTempo(w, view);
    if (view.globalParamSize >= globalParamCount) {
        jsonKey(w, "globals");
        namedBytes(w, view.globalParams, globalParamNames, globalParamCount);
    }
    dumpBank(w, view);
    int32_t used = 0;
    for (int32_t c = 0; c < 16; ++c) {
        if (view.channels[c].noteCount) used = c + 1;
    }
    jsonKey(w, "channels");
    jsonBeginList(w);
    for (int32_t c = 0; c < used; ++c) {
        if (view.channels[c].noteCount == 0) {
            jsonNull(w);
        } else {
            dumpChannel(w, view.channels[c]);
        }
    }
    jsonEnd(w);
    if (view.speechBlock) {
        const uint32_t count = wordAt(view.speechBlock);
        jsonKey(w, "speech");
        jsonBeginList(w);
        for (uint32_t i = 0; i < count && i < speechTableSlots; ++i) jsonString(w, view.speechTexts[i]);
        jsonEnd(w);
    }
    jsonEnd(w);
    w.buffer += '\n';
    return jsonFinish(w);
}

std::string dumpModuleText(const ModuleView& view) {
    std::string text;
    dumpModule(view, [&text](std::string_view chunk) {
        text += chunk;
        return true;
    });
    return text;
}
