#pragma once
// Standard MIDI Files: the chunks, tracks and events of a file, read with
// every length checked against the bytes left, so that a damaged file is
// refused with the byte offset of the damage instead of read past its end.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Beyond this tick an event cannot be placed in a module (tick distances
// are 24 bits); a file reaching it is refused.
constexpr uint32_t maxMidiTick = 0xFFFFFF;
// The most channel events one import takes (the module's streams hold them
// easily; the bound keeps a hostile file from exhausting memory).
constexpr size_t maxMidiEvents = 1u << 20;

// A channel message: status 0x80..0xEF, one or two data bytes (data2 is 0
// for program change and channel pressure). Eight bytes: a file may hold a
// million of them.
struct MidiEvent {
    uint32_t tick : 24;  // at most maxMidiTick
    uint32_t status : 8;
    uint16_t track;
    uint8_t data1;
    uint8_t data2;
};

struct MidiTempo {
    uint32_t tick;
    uint32_t microsPerBeat;
};

struct MidiFile {
    uint16_t format = 0;
    uint16_t trackCount = 0;
    // Ticks per quarter note, or with an SMPTE time division the ticks of a
    // second: smpteFramesPerSecond (24, 25, 29 for 29.97 drop frame, 30)
    // times ticks per frame.
    uint32_t ticksPerQuarter = 0;
    uint32_t smpteFramesPerSecond = 0;  // 0: ticks per quarter note
    uint32_t smpteTicksPerFrame = 0;
    // The channel events are not held: forEachMidiEvent reads them again
    // from the file's bytes.
    std::vector<uint8_t> bytes;
    std::vector<std::pair<size_t, size_t>> tracks;  // each track's events: [begin, end) in data
    size_t eventCount = 0;              // channel events
    std::vector<MidiTempo> tempos;      // tempo meta events of all tracks, in time order
    std::vector<std::string> trackNames;  // per track, "" when it has none
    uint32_t endTick = 0;               // the latest end of track
};

// Reads a format 0 or 1 file. On failure returns false with the reason and
// the byte offset, e.g. "track 2 is truncated at offset 1234 (chunk needs
// 500 bytes, 80 left)".
// The file keeps bytes.
bool readMidiFile(std::vector<uint8_t> bytes, MidiFile& file, std::string& error);

// Calls visit with every channel event of file in time order: at one tick
// in track order, within a track in file order. The tracks are read again
// and merged as they are walked, so the events are never held.
void forEachMidiEvent(const MidiFile& file, const std::function<void(const MidiEvent&)>& visit);
