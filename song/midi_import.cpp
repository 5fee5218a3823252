// Turns the events of a MIDI file into the channels of a song source.
// Note ons and offs of one key pair first in, first out (each on gets its
// off; an on left open ends at the end of the file); a held sustain pedal
// lengthens notes to its release; percussion keys go to one module channel
// per drum patch; MIDI channel 16 moves to a free channel unless it speaks.
#include "song/midi_import.h"
#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include "player/module.h"

using nlohmann::ordered_json;

namespace {

// Eight bytes: a file may hold half a million notes.
struct Note {
    uint32_t start : 24;
    uint32_t key : 8;
    uint32_t end : 24;  // maxMidiTick while the note is open
    uint32_t velocity : 8;
};

// One module channel being filled.
struct Part {
    int32_t track = -1;           // the track of its first note, for its name
    std::string patch;            // the patch selected now ("" before the first note)
    std::vector<Note> notes;
    std::vector<std::pair<uint32_t, std::string>> programChanges;
    std::vector<std::array<int32_t, 2>> bends;
    std::array<std::vector<std::array<uint32_t, 2>>, 7> controllers;
    std::array<uint8_t, 8> controlValues{0, 0, 0, 0, 0, 0, 0, 127};  // [1..7] as the synth holds them
    bool speaks = false;
};

// Notes of one key waiting for their ends, first in, first out.
struct KeyQueue {
    std::vector<uint32_t> notes;  // indices into the part's notes
    size_t head = 0;
    bool empty() const { return head == notes.size(); }
};

// Where a MIDI channel's notes go.
struct Route {
    int32_t part = -1;  // -1: dropped (no free channel)
    bool sustain = false;
    uint8_t program = 0;
    std::array<KeyQueue, 128> open;                     // per MIDI key
    std::array<std::vector<uint32_t>, 128> held;        // notes of the route's part the pedal holds, per key
};

struct Importer {
    const MidiFile& file;
    const MidiMapping& mapping;
    const MidiImportOptions& options;
    std::vector<std::string>& warnings;
    std::array<Part, 16> parts;
    std::array<Route, 16> routes;
    std::vector<std::string> drumPatches;     // drum patch names, in order of first use
    std::vector<PatchChoice> drumChoices;     // the same patches
    std::array<int32_t, 16> drumParts{};      // part of each drum patch
    std::vector<PatchChoice> patchOrder;      // patches in order of first use: program numbers
    std::array<bool, 128> usedPrograms{}, usedDrums{};
    std::map<std::string, std::string> channelMoves;

    bool melodic(int32_t channel) const { return channel != midiPercussionChannel; }

    // The drum patch group of a percussion key; keys of groups beyond the
    // first sixteen play with the first group.
    size_t drumGroup(uint8_t key) const {
        const auto found = std::find(drumPatches.begin(), drumPatches.end(), mapping.drums[key].patch.name);
        return found == drumPatches.end() ? 0 : static_cast<size_t>(found - drumPatches.begin());
    }
    int32_t drumPart(uint8_t key) const { return drumParts[drumGroup(key)]; }
    // A group without a channel of its own plays with the first group's patch.
    const PatchChoice& drumPatch(uint8_t key) const {
        const size_t group = drumGroup(key);
        const bool shared = group > 0 && drumParts[group] == midiPercussionChannel;
        return shared ? drumChoices[0] : drumChoices[group];
    }

    void usePatch(const PatchChoice& patch) {
        for (const PatchChoice& known : patchOrder) {
            if (known.name == patch.name) return;
        }
        if (patchOrder.size() == 128) throw std::runtime_error("the mapping picks more than 128 patches");
        patchOrder.push_back(patch);
    }

    // A program change at tick when the part's patch changes; the synth's
    // program change clears controllers 1..6, so their values follow it.
    void selectPatch(int32_t index, const PatchChoice& patch, uint32_t tick) {
        Part& part = parts[index];
        if (part.patch == patch.name) return;
        usePatch(patch);
        part.patch = patch.name;
        part.programChanges.push_back({tick, patch.name});
        for (int32_t c = 1; c <= 6; ++c) {
            if (part.controlValues[c]) part.controllers[c - 1].push_back({tick, part.controlValues[c]});
        }
    }

    // Ends the key's oldest open note, or lets the pedal hold it.
    void endNote(Route& route, bool melodicChannel, uint8_t key, int32_t partIndex, uint32_t tick) {
        KeyQueue& open = route.open[key];
        const uint32_t note = open.notes[open.head++];
        if (open.empty()) {
            open = KeyQueue{};
        } else if (open.head * 2 >= open.notes.size()) {  // the ended half let go
            open.notes.erase(open.notes.begin(), open.notes.begin() + static_cast<long>(open.head));
            open.head = 0;
        }
        if (route.sustain && melodicChannel && !parts[partIndex].speaks) {
            route.held[key].push_back(note);
        } else {
            parts[partIndex].notes[note].end = tick;
        }
    }

    void endHeld(Route& route, uint8_t key, uint32_t tick) {
        for (uint32_t note : route.held[key]) parts[route.part].notes[note].end = tick;
        route.held[key].clear();
    }

    void releasePedal(Route& route, uint32_t tick) {
        if (route.part < 0) return;
        for (uint8_t key = 0; key < 128; ++key) endHeld(route, key, tick);
    }

    void noteOn(int32_t channel, uint8_t key, uint8_t velocity, uint32_t tick, uint16_t track) {
        Route& route = routes[channel];
        int32_t index = route.part;
        uint8_t playedKey = key;
        if (!melodic(channel)) {
            index = drumPart(key);
            playedKey = mapping.drums[key].key;
            selectPatch(index, drumPatch(key), tick);
            usedDrums[key] = true;
        } else if (parts[index].speaks) {
            selectPatch(index, mapping.speech, tick);
        } else {
            selectPatch(index, mapping.programs[route.program], tick);
            usedPrograms[route.program] = true;
        }
        Part& part = parts[index];
        // A note the pedal holds ends where its key is struck again.
        if (melodic(channel)) endHeld(route, key, tick);
        if (part.track < 0) part.track = track;
        route.open[key].notes.push_back(static_cast<uint32_t>(part.notes.size()));
        part.notes.push_back({tick, playedKey, maxMidiTick, velocity});
    }

    void noteOff(int32_t channel, uint8_t key, uint32_t tick) {
        Route& route = routes[channel];
        if (route.open[key].empty()) return;  // an off with no on
        endNote(route, melodic(channel), key, melodic(channel) ? route.part : drumPart(key), tick);
    }

    void allNotesOff(int32_t channel, uint32_t tick) {
        for (uint8_t key = 0; key < 128; ++key) {
            while (!routes[channel].open[key].empty()) noteOff(channel, key, tick);
        }
    }

    // The parts a channel's controllers and bends reach: its own, or every
    // drum part.
    std::vector<int32_t> partsOf(int32_t channel) const {
        if (melodic(channel)) return {routes[channel].part};
        return std::vector<int32_t>(drumParts.begin(), drumParts.begin() + static_cast<long>(drumPatches.size()));
    }

    void controller(int32_t channel, uint8_t number, uint8_t value, uint32_t tick) {
        Route& route = routes[channel];
        if (number == midiSustainController && !mapping.controllers[number] && melodic(channel)) {
            route.sustain = value >= 64;
            if (!route.sustain) releasePedal(route, tick);
            return;
        }
        if (number == 120 || number >= 123) {  // all sound off, all notes off
            releasePedal(route, tick);
            allNotesOff(channel, tick);
            return;
        }
        const uint8_t target = mapping.controllers[number];
        if (!target) return;
        for (int32_t index : partsOf(channel)) {
            Part& part = parts[index];
            // On the speaking channel controllers 4 and 5 choose the text and the formants.
            if (part.speaks && (target == 4 || target == 5)) continue;
            part.controlValues[target] = value;
            part.controllers[target - 1].push_back({tick, value});
        }
    }

    void event(const MidiEvent& e) {
        const int32_t channel = e.status & 15;
        if (melodic(channel) && routes[channel].part < 0) return;
        switch (e.status & 0xF0) {
            case 0x90:
                if (e.data2) return noteOn(channel, e.data1, e.data2, e.tick, e.track);
                [[fallthrough]];
            case 0x80: return noteOff(channel, e.data1, e.tick);
            case 0xB0: return controller(channel, e.data1, e.data2, e.tick);
            case 0xC0:
                routes[channel].program = e.data1;
                return;
            case 0xE0:
                for (int32_t index : partsOf(channel)) {
                    parts[index].bends.push_back({static_cast<int32_t>(e.tick), (e.data2 << 7 | e.data1) - 8192});
                }
                return;
            default: return;  // key and channel pressure: the synth ignores them
        }
    }

    // Each part's notes reserved at their number, so that no list grows by
    // copying itself.
    void reserveNotes() {
        std::array<size_t, 16> counts{};
        forEachMidiEvent(file, [&](const MidiEvent& e) {
            const int32_t channel = e.status & 15;
            if ((e.status & 0xF0) != 0x90 || !e.data2) return;
            const int32_t index = melodic(channel) ? routes[channel].part : drumPart(e.data1);
            if (index >= 0) ++counts[index];
        });
        for (size_t p = 0; p < parts.size(); ++p) parts[p].notes.reserve(counts[p]);
    }

    std::string channelName(int32_t c) const { return "channel " + std::to_string(c + 1); }

    // MIDI channels keep their number; channel 16 (unless it speaks) and
    // the percussion channel's further drum patches take free channels,
    // highest first.
    void routeChannels() {
        std::array<bool, 16> used{};
        forEachMidiEvent(file, [&used](const MidiEvent& e) { used[e.status & 15] = true; });
        forEachMidiEvent(file, [&](const MidiEvent& e) {
            if ((e.status & 15) != midiPercussionChannel || (e.status & 0xF0) != 0x90 || !e.data2) return;
            const std::string& name = mapping.drums[e.data1].patch.name;
            if (std::find(drumPatches.begin(), drumPatches.end(), name) == drumPatches.end()) {
                drumPatches.push_back(name);
                drumChoices.push_back(mapping.drums[e.data1].patch);
            }
        });
        drumPatches.resize(std::min<size_t>(drumPatches.size(), 16));
        drumChoices.resize(drumPatches.size());
        std::vector<int32_t> free;
        for (int32_t c = 0; c < speechChannel; ++c) {
            if (!used[c]) free.push_back(c);
        }
        for (int32_t c = 0; c < speechChannel; ++c) routes[c].part = c;
        if (used[speechChannel]) {
            if (options.speech) {
                routes[speechChannel].part = speechChannel;
                parts[speechChannel].speaks = true;
            } else if (!free.empty()) {
                routes[speechChannel].part = free.back();
                channelMoves["MIDI channel 16"] = channelName(free.back());
                free.pop_back();
            } else {
                warnings.push_back("MIDI channel 16 left out: no free channel to move it to (use --speech to have it speak)");
            }
        }
        for (size_t g = 0; g < drumPatches.size(); ++g) {
            if (g == 0) {
                drumParts[g] = midiPercussionChannel;
            } else if (!free.empty()) {
                drumParts[g] = free.back();
                channelMoves["drums: " + drumPatches[g]] = channelName(free.back());
                free.pop_back();
            } else {
                drumParts[g] = midiPercussionChannel;
                warnings.push_back("drum patch \"" + drumPatches[g] + "\" shares channel 10: no free channel");
            }
        }
    }
};

// --- the song source ------------------------------------------------------

// Names in a MIDI file have no declared encoding: printable ASCII is kept,
// every other byte becomes '?', so the JSON text is always valid.
std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c < 0x20 || c > 0x7E) c = '?';
    }
    return out;
}

uint32_t lastTick(const Part& part) {
    uint32_t last = 0;
    for (const Note& note : part.notes) last = std::max<uint32_t>(last, note.end);
    for (const auto& change : part.programChanges) last = std::max(last, change.first);
    for (const auto& bend : part.bends) last = std::max(last, static_cast<uint32_t>(bend[0]));
    for (const auto& list : part.controllers) {
        for (const auto& point : list) last = std::max(last, point[0]);
    }
    return last;
}

// --- layout ---------------------------------------------------------------

// Lists of plain values, and small objects of them, stay on one line.
bool isFlat(const ordered_json& value) {
    if (value.is_primitive()) return true;
    if (value.is_object() && value.size() > 3) return false;
    return std::all_of(value.begin(), value.end(), [](const ordered_json& v) { return v.is_primitive(); });
}

void layout(const ordered_json& value, const std::string& indent, std::string& out) {
    if (isFlat(value) || value.empty()) {
        out += value.dump();
        return;
    }
    const bool object = value.is_object();
    out += object ? "{\n" : "[\n";
    size_t i = 0;
    for (auto it = value.begin(); it != value.end(); ++it, ++i) {
        out += indent + "  ";
        if (object) out += ordered_json(it.key()).dump() + ": ";
        layout(*it, indent + "  ", out);
        out += i + 1 < value.size() ? ",\n" : "\n";
    }
    out += indent + (object ? "}" : "]");
}

// --- the song source as text, written as it is laid out -------------------

// Text on its way to a sink, in chunks.
struct SourceText {
    const TextSink& sink;
    std::string buffer;
    bool failed = false;
};

void emit(SourceText& out, std::string_view text) {
    out.buffer += text;
    if (out.buffer.size() < (1u << 16)) return;
    if (!out.failed) out.failed = !out.sink(out.buffer);
    out.buffer.clear();
}

// [a,b,...] as the layout writes a list of numbers.
std::string numberList(std::initializer_list<int64_t> values) {
    std::string text = "[";
    for (int64_t v : values) {
        if (text.size() > 1) text += ',';
        text += std::to_string(v);
    }
    return text += ']';
}

// A list of events as layout() lays it out: "[]" when empty, else one
// event a line; lineOf(i) is event i's text.
template <typename LineOf>
void writeEventList(SourceText& out, const std::string& indent, size_t count, LineOf lineOf) {
    if (count == 0) return emit(out, "[]");
    emit(out, "[\n");
    for (size_t i = 0; i < count; ++i) {
        emit(out, indent + "  " + lineOf(i) + (i + 1 < count ? ",\n" : "\n"));
    }
    emit(out, indent + "]");
}

// The members of an object, one a line, each value written by its writer.
using MemberWriter = std::function<void(SourceText&, const std::string& indent)>;
void writeObject(SourceText& out, const std::string& indent,
                 const std::vector<std::pair<std::string, MemberWriter>>& members) {
    emit(out, "{\n");
    for (size_t i = 0; i < members.size(); ++i) {
        emit(out, indent + "  " + ordered_json(members[i].first).dump() + ": ");
        members[i].second(out, indent + "  ");
        emit(out, i + 1 < members.size() ? ",\n" : "\n");
    }
    emit(out, indent + "}");
}

MemberWriter laidOut(const ordered_json& value) {
    return [&value](SourceText& out, const std::string& indent) {
        std::string text;
        layout(value, indent, text);
        emit(out, text);
    };
}

// Raw note events in the order of the synth's pairing: by tick; at one tick
// ends of notes first, then starts, then ends of notes that start there;
// otherwise in the order of the notes. Three streams each already in that
// order are merged: the starts, the ends of notes of no length, and the
// other ends, sorted through an index of the notes.
void writeNoteEvents(SourceText& out, const std::string& indent, const std::vector<Note>& notes) {
    std::vector<uint32_t> ends;  // notes of some length, by end
    for (uint32_t i = 0; i < notes.size(); ++i) {
        if (notes[i].end != notes[i].start) ends.push_back(i);
    }
    std::sort(ends.begin(), ends.end(), [&](uint32_t a, uint32_t b) {
        return notes[a].end != notes[b].end ? notes[a].end < notes[b].end : a < b;
    });
    size_t start = 0, zero = 0, end = 0;
    const auto nextZero = [&] {
        while (zero < notes.size() && notes[zero].end != notes[zero].start) ++zero;
    };
    nextZero();
    writeEventList(out, indent, 2 * notes.size(), [&](size_t) {
        const uint32_t endTick = end < ends.size() ? notes[ends[end]].end : noMoreEvents;
        const uint32_t startTick = start < notes.size() ? notes[start].start : noMoreEvents;
        const uint32_t zeroTick = zero < notes.size() ? notes[zero].start : noMoreEvents;
        if (endTick <= startTick && endTick <= zeroTick && end < ends.size()) {
            return numberList({endTick, notes[ends[end++]].key, 0});
        }
        if (startTick <= zeroTick && start < notes.size()) {
            const Note& n = notes[start++];
            return numberList({n.start, n.key, n.velocity});
        }
        const Note& n = notes[zero++];
        nextZero();
        return numberList({n.start, n.key, 0});
    });
}

// Notes as [tick, key, velocity, length] when no two of one key overlap;
// otherwise raw events, which the synth pairs as it would live. A part's
// notes are in order of their starts (they are made as the events are
// walked in time order).
void addNotes(const Part& part, std::vector<std::pair<std::string, MemberWriter>>& members) {
    const std::vector<Note>& notes = part.notes;
    bool clean = true;
    std::array<uint32_t, 128> busyUntil{};
    for (const Note& note : notes) {
        if (note.end == note.start || note.start < busyUntil[note.key]) clean = false;
        busyUntil[note.key] = std::max<uint32_t>(busyUntil[note.key], note.end);
    }
    if (!clean) {
        members.push_back({"noteEvents", [&notes](SourceText& out, const std::string& indent) {
            writeNoteEvents(out, indent, notes);
        }});
        return;
    }
    members.push_back({"notes", [&notes](SourceText& out, const std::string& indent) {
        writeEventList(out, indent, notes.size(), [&](size_t i) {
            const Note& n = notes[i];
            return numberList({n.start, n.key, n.velocity, n.end - n.start});
        });
    }});
}

// A list let go with its memory (clear() keeps it).
template <typename Event>
void release(std::vector<Event>& list) {
    std::vector<Event>().swap(list);
}

void releaseEvents(Part& part) {
    release(part.notes);
    release(part.programChanges);
    release(part.bends);
    for (auto& list : part.controllers) release(list);
}

void writeChannel(SourceText& out, const std::string& indent, const Part& part, const Importer& importer) {
    std::vector<std::pair<std::string, MemberWriter>> members;
    if (part.track >= 0 && !importer.file.trackNames[part.track].empty()) {
        const std::string name = ordered_json(printable(importer.file.trackNames[part.track])).dump();
        members.push_back({"name", [name](SourceText& o, const std::string&) { emit(o, name); }});
    }
    members.push_back({"programChanges", [&](SourceText& o, const std::string& in) {
        writeEventList(o, in, part.programChanges.size(), [&](size_t i) {
            int32_t program = 0;
            while (importer.patchOrder[program].name != part.programChanges[i].second) ++program;
            return numberList({part.programChanges[i].first, program});
        });
    }});
    addNotes(part, members);
    if (!part.bends.empty()) {
        members.push_back({"bends", [&](SourceText& o, const std::string& in) {
            writeEventList(o, in, part.bends.size(),
                           [&](size_t i) { return numberList({part.bends[i][0], part.bends[i][1]}); });
        }});
    }
    std::vector<std::pair<std::string, MemberWriter>> controllers;
    for (int32_t c = 0; c < 7; ++c) {
        const auto& list = part.controllers[c];
        if (list.empty()) continue;
        controllers.push_back({std::to_string(c + 1), [&list](SourceText& o, const std::string& in) {
            writeEventList(o, in, list.size(), [&](size_t i) { return numberList({list[i][0], list[i][1]}); });
        }});
    }
    if (!controllers.empty()) {
        members.push_back({"controllers", [&controllers](SourceText& o, const std::string& in) {
            writeObject(o, in, controllers);
        }});
    }
    writeObject(out, indent, members);
}

// The tempo map; with an SMPTE time division one fixed tempo at which a
// beat is one second (1.001 s at 29.97 frames per second, whose ticks run
// at 30 frames per 1.001 s). Takes the file's tempos.
std::vector<MidiTempo> tempoMap(MidiFile& file, uint32_t& timeDivision, uint32_t songEnd) {
    std::vector<MidiTempo> tempos;
    if (file.smpteFramesPerSecond) {
        const bool drop = file.smpteFramesPerSecond == 29;
        timeDivision = (drop ? 30 : file.smpteFramesPerSecond) * file.smpteTicksPerFrame;
        tempos.push_back({0, drop ? 1001000u : 1000000u});
    } else {
        timeDivision = file.ticksPerQuarter;
        tempos = std::move(file.tempos);
        if (tempos.empty() || tempos.front().tick > 0) tempos.insert(tempos.begin(), {0, 500000});
    }
    // The module ends at its last event; a repeat of the last tempo where
    // the file ends after its last event keeps the song as long as the file.
    if (songEnd > tempos.back().tick) tempos.push_back({songEnd, tempos.back().microsPerBeat});
    return tempos;
}

MemberWriter tempoWriter(const std::vector<MidiTempo>& tempos) {
    return [&tempos](SourceText& out, const std::string& indent) {
        writeEventList(out, indent, tempos.size(), [&](size_t i) {
            return "{\"tick\":" + std::to_string(tempos[i].tick) +
                   ",\"microsPerBeat\":" + std::to_string(tempos[i].microsPerBeat) + "}";
        });
    };
}

std::string uniqueName(const std::string& name, std::map<std::string, std::string>& files, const std::string& file) {
    std::string candidate = name;
    for (int32_t n = 2; files.count(candidate) && files[candidate] != file; ++n) {
        candidate = name + "-" + std::to_string(n);
    }
    files[candidate] = file;
    return candidate;
}

// Patch names must be unique: two files with one stem get numbered names.
MidiMapping uniqueNames(const MidiMapping& mapping) {
    MidiMapping named = mapping;
    std::map<std::string, std::string> files;
    for (PatchChoice& p : named.programs) p.name = uniqueName(p.name, files, p.file.string());
    for (DrumChoice& d : named.drums) d.patch.name = uniqueName(d.patch.name, files, d.patch.file.string());
    named.speech.name = uniqueName(named.speech.name, files, named.speech.file.string());
    return named;
}

// The song's small parts as a tree; its channels are written from the
// importer's records.
void writeSong(MidiFile& file, const MidiMapping& rawMapping, const MidiImportOptions& options,
               SourceText& out, std::vector<std::string>& warnings) {
    const MidiMapping mapping = uniqueNames(rawMapping);
    Importer importer{file, mapping, options, warnings, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    importer.routeChannels();
    importer.reserveNotes();
    forEachMidiEvent(file, [&importer](const MidiEvent& e) { importer.event(e); });
    release(file.bytes);  // walked: the parts hold the song now
    file.tracks.clear();
    uint32_t eventsEnd = 0;
    for (Part& part : importer.parts) {
        for (Note& note : part.notes) note.end = std::min<uint32_t>(note.end, file.endTick);  // each on gets its off
        if (!part.notes.empty()) eventsEnd = std::max(eventsEnd, lastTick(part));
    }
    const uint32_t songEnd = file.endTick > eventsEnd ? file.endTick : 0;
    for (size_t c = 0; options.listSizes && c < importer.parts.size(); ++c) {
        options.listSizes->noteEvents[c] = 2 * importer.parts[c].notes.size();
    }
    importer.routes = {};  // the open notes are ended: let go of their queues
    if (importer.patchOrder.empty()) importer.usePatch(mapping.programs[0]);

    ordered_json comment = ordered_json::object();
    comment["importedFrom"] = printable(options.sourceName);
    comment["format"] = file.format;
    ordered_json tracks = ordered_json::array();
    for (const std::string& name : file.trackNames) tracks.push_back(printable(name));
    comment["tracks"] = tracks;
    if (!importer.channelMoves.empty()) comment["moved"] = importer.channelMoves;
    comment["mapping"] = describeMidiMapping(mapping, importer.usedPrograms, importer.usedDrums);
    uint32_t timeDivision = 0;
    const std::vector<MidiTempo> tempo = tempoMap(file, timeDivision, songEnd);
    if (options.listSizes) options.listSizes->tempo = tempo.size();
    const ordered_json division = timeDivision;
    ordered_json patches = ordered_json::object(), programs = ordered_json::object();
    for (size_t p = 0; p < importer.patchOrder.size(); ++p) {
        patches[importer.patchOrder[p].name] = readPatchFile(importer.patchOrder[p]);
        programs[std::to_string(p)] = importer.patchOrder[p].name;
    }
    size_t channelCount = importer.parts.size();
    while (channelCount > 0 && importer.parts[channelCount - 1].notes.empty()) --channelCount;
    const ordered_json speech = ordered_json::array({options.speechText});

    std::vector<std::pair<std::string, MemberWriter>> members = {
        {"comment", laidOut(comment)}, {"timeDivision", laidOut(division)}, {"tempo", tempoWriter(tempo)},
        {"patches", laidOut(patches)}, {"programs", laidOut(programs)}};
    members.push_back({"channels", [&](SourceText& o, const std::string& indent) {
        writeEventList(o, indent, 0, [](size_t) { return std::string(); });
    }});
    if (channelCount > 0) {
        members.back().second = [&](SourceText& o, const std::string& indent) {
            emit(o, "[\n");
            for (size_t c = 0; c < channelCount; ++c) {
                emit(o, indent + "  ");
                if (importer.parts[c].notes.empty()) {
                    emit(o, "null");
                } else {
                    writeChannel(o, indent + "  ", importer.parts[c], importer);
                    releaseEvents(importer.parts[c]);  // written: the builder reading it holds it now
                }
                emit(o, c + 1 < channelCount ? ",\n" : "\n");
            }
            emit(o, indent + "]");
        };
    }
    if (importer.parts[speechChannel].speaks) members.push_back({"speech", laidOut(speech)});
    writeObject(out, "", members);
    emit(out, "\n");
}

}  // namespace

// A patch file's object, with an import inside it made absolute so that
// the song source builds wherever it is written.
ordered_json readPatchFile(const PatchChoice& patch) {
    std::ifstream in(patch.file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read patch file " + patch.file.string());
    std::stringstream text;
    text << in.rdbuf();
    ordered_json object = ordered_json::parse(text.str(), nullptr, false);
    if (!object.is_object()) throw std::runtime_error(patch.file.string() + " is not a patch (a JSON object)");
    if (object.contains("import") && object["import"].is_string()) {
        object["import"] = std::filesystem::absolute(patch.file.parent_path() / object["import"].get<std::string>()).string();
    }
    return object;
}

bool writeImportedSong(MidiFile file, const MidiMapping& mapping, const MidiImportOptions& options,
                       const TextSink& sink, std::vector<std::string>& warnings, std::string& error) {
    SourceText out{sink, {}, false};
    try {
        writeSong(file, mapping, options, out, warnings);
    } catch (const std::exception& e) {  // a patch file that cannot be read
        error = e.what();
        return false;
    }
    if (!out.failed && !out.buffer.empty()) out.failed = !sink(out.buffer);
    if (out.failed) error = "the song source could not be written";
    return !out.failed;
}

bool importMidi(const MidiFile& file, const MidiMapping& mapping, const MidiImportOptions& options,
                ordered_json& song, std::vector<std::string>& warnings, std::string& error) {
    std::string text;
    const TextSink collect = [&text](std::string_view chunk) {
        text += chunk;
        return true;
    };
    if (!writeImportedSong(file, mapping, options, collect, warnings, error)) return false;
    song = ordered_json::parse(text);
    return true;
}

std::string songSourceText(const ordered_json& song) {
    std::string out;
    layout(song, "", out);
    return out + "\n";
}
