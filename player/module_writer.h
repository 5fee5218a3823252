#pragma once
// Builds module images from absolute-tick events: byte planes, 24-bit tick
// deltas and running-value differences, as the player reads them back.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct NoteEvent { uint32_t tick; uint8_t key; uint8_t velocity; };
struct ProgramEvent { uint32_t tick; uint8_t program; };
struct BendEvent { uint32_t tick; uint8_t low; uint8_t high; };
struct ControllerEvent { uint32_t tick; uint8_t value; };
struct TempoEvent {
    uint32_t tick;
    uint32_t microsPerBeat;
    uint8_t numerator = 4;
    uint8_t denominator = 4;
    uint8_t third = 8;
};

// Events of one stream in the order they are played (ticks never decrease).
struct ChannelEvents {
    std::vector<NoteEvent> notes;
    std::vector<ProgramEvent> programs;
    std::vector<BendEvent> bends;
    std::array<std::vector<ControllerEvent>, 7> controllers;  // controllers 1..7
};

struct ModuleSource {
    uint32_t timeDivision = 96;
    uint32_t reserved = 0;
    std::vector<TempoEvent> tempos;
    std::array<ChannelEvents, 16> channels;
    std::vector<uint8_t> globalParams;   // normally 22 bytes
    std::vector<uint8_t> patchBlock;     // see buildPatchBank
    std::vector<std::string> speechTexts;  // none: the module has no speech block
};

// One patch: 59 voice bytes, 25 channel bytes, polyphony, routings
// (source, amount, destination).
struct PatchRecord {
    std::array<uint8_t, 59> voice{};
    std::array<uint8_t, 25> channel{};
    uint8_t polyphony = 0;
    std::vector<std::array<uint8_t, 3>> routings;
};

// A patch bank whose offset table has one entry per element (program p is
// patches[p]), followed by the records. Empty when a patch has more than 255
// routings.
std::vector<uint8_t> buildPatchBank(const std::vector<PatchRecord>& patches);
// Appends one record (86 + 3m bytes); false, and nothing appended, for more
// than 255 routings.
bool appendPatchRecord(std::vector<uint8_t>& out, const PatchRecord& patch);

// Writes the module; false with a reason for what the format cannot express
// (a tick delta above 24 bits, ticks going backwards, an event at the reserved
// tick 4294967295, streams on a channel without notes, a global block above
// 16384 or a patch block above 1048576 bytes, more than 256 speech texts, a
// speech block of 8192 bytes or more). No speech texts: no speech block.
// Content the parse checks (patches, 22 global bytes, tempo range) is not
// checked here, so tests can write modules that the parse must refuse.
bool writeModule(const ModuleSource& source, std::vector<uint8_t>& image, std::string& reason);
