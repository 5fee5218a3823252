#include "player/sequencer.h"

#include "player/byte_reader.h"
#include "player/module_player.h"
#include "synth/synth.h"
#include "player/timing.h"

namespace {

constexpr uint8_t endOfCommands = 0xFD;
constexpr int32_t noStatus = -1;

// The parts of a channel, in the order a step visits them.
constexpr int32_t partProgram = 0;   // 1..7: controllers 1..7
constexpr int32_t partBend = 8;
constexpr int32_t partNotes = 9;
constexpr int32_t partCount = 10;

struct CommandWriter {
    uint8_t* buffer;
    int32_t position;
    int32_t lastStatus;   // the status most recently written into this buffer
    bool full;            // a command did not fit: the rest of the tick waits for the next step
};

// Writes a status (left out when it repeats the last one) and its data bytes,
// keeping room for the end byte. False, with nothing written, when full.
bool writeCommand(CommandWriter& out, uint8_t status, const uint8_t* data, int32_t count) {
    const bool newStatus = out.lastStatus != status;
    if (out.position + int32_t(newStatus) + count + 1 > commandBufferSize) {
        out.full = true;
        return false;
    }
    if (newStatus) out.buffer[out.position++] = status;
    for (int32_t i = 0; i < count; ++i) out.buffer[out.position++] = data[i];
    out.lastStatus = status;
    return true;
}

// Points a cursor at the first event of a stream with count events.
void rewind(StreamCursor& cursor, const uint8_t* stream, uint32_t count) {
    cursor.read = stream;
    cursor.index = 0;
    cursor.value[0] = 0;
    cursor.value[1] = 0;
    cursor.nextTick = count != 0 ? readTickDelta(stream, count) : noMoreEvents;
}

// Moves a cursor past the event due at currentTick.
void advance(StreamCursor& cursor, uint32_t count, uint32_t currentTick) {
    cursor.read += 1;
    cursor.index += 1;
    if (cursor.index < count) cursor.nextTick = currentTick + readTickDelta(cursor.read, count);
}

bool isDue(const StreamCursor& cursor, uint32_t count, uint32_t currentTick) {
    return cursor.index < count && cursor.nextTick == currentTick;
}

void keepEarliest(uint32_t& nextTick, const StreamCursor& cursor, uint32_t count) {
    if (cursor.index < count && cursor.nextTick < nextTick) nextTick = cursor.nextTick;
}

// Program, controller or pitch-bend event: at most one per step. prefix is
// the controller number written before the value, or -1; values is 1 or 2.
bool emitOne(CommandWriter& out, StreamCursor& cursor, uint32_t count, uint32_t currentTick,
             uint8_t status, int32_t prefix, int32_t values) {
    if (!isDue(cursor, count, currentTick)) return true;
    uint8_t data[3];
    int32_t length = 0;
    if (prefix >= 0) data[length++] = uint8_t(prefix);
    uint8_t running[2] = {cursor.value[0], cursor.value[1]};
    for (int32_t j = 0; j < values; ++j) {
        running[j] = uint8_t(running[j] + cursor.read[uint64_t(3 + j) * count]);
        data[length++] = running[j];
    }
    if (!writeCommand(out, status, data, length)) return false;
    cursor.value[0] = running[0];
    cursor.value[1] = running[1];
    advance(cursor, count, currentTick);
    return true;
}

// Every note due at this tick, under one status while the buffer allows.
bool emitNotes(CommandWriter& out, StreamCursor& cursor, uint32_t count, uint32_t currentTick,
               uint8_t status) {
    while (isDue(cursor, count, currentTick)) {
        const uint8_t key = uint8_t(cursor.value[0] + cursor.read[3 * uint64_t(count)]);
        const uint8_t velocity = uint8_t(cursor.value[1] + cursor.read[4 * uint64_t(count)]);
        const uint8_t data[2] = {key, velocity};
        if (!writeCommand(out, status, data, 2)) return false;
        cursor.value[0] = key;
        cursor.value[1] = velocity;
        advance(cursor, count, currentTick);
    }
    return true;
}

// The stream and count of one part of a channel.
StreamCursor& partCursor(ChannelCursor& cursors, int32_t part) {
    if (part == partProgram) return cursors.program;
    if (part == partBend) return cursors.bend;
    if (part == partNotes) return cursors.notes;
    return cursors.controllers[part - 1];
}

uint32_t partEventCount(const ChannelStreams& streams, int32_t part) {
    if (part == partProgram) return streams.programCount;
    if (part == partBend) return streams.bendCount;
    if (part == partNotes) return streams.noteCount;
    return streams.controllerCount[part - 1];
}

bool emitPart(CommandWriter& out, StreamCursor& cursor, uint32_t count, uint32_t currentTick,
              int32_t channel, int32_t part) {
    if (part == partProgram)
        return emitOne(out, cursor, count, currentTick, uint8_t(0xC0 + channel), -1, 1);
    if (part == partBend)
        return emitOne(out, cursor, count, currentTick, uint8_t(0xE0 + channel), -1, 2);
    if (part == partNotes) return emitNotes(out, cursor, count, currentTick, uint8_t(0x90 + channel));
    return emitOne(out, cursor, count, currentTick, uint8_t(0xB0 + channel), part, 1);
}

// The global stream: at most one tempo and time-signature event per step.
void stepGlobal(ModulePlayer& player) {
    const uint32_t count = player.view.globalEventCount;
    if (player.globalIndex >= count || player.globalNextTick != player.currentTick) return;
    const uint8_t* stream = player.globalStart;
    const uint64_t index = player.globalIndex;
    player.tempoScaled = wordAt(stream + 3 * uint64_t(count) + 4 * index) * 441u;
    player.numerator = stream[7 * uint64_t(count) + index];
    player.denominator = stream[8 * uint64_t(count) + index];
    player.thirdByte = stream[9 * uint64_t(count) + index];
    player.globalIndex += 1;
    if (player.globalIndex < count)
        player.globalNextTick = player.currentTick + readTickDelta(stream + player.globalIndex, count);
}

}  // namespace

void sequencerReset(ModulePlayer& player) {
    const ModuleView& view = player.view;
    player.nextTick = noMoreEvents;
    player.currentTick = 0;
    player.globalStart = view.globalStream;
    player.globalIndex = 0;
    player.globalNextTick = noMoreEvents;
    if (view.globalEventCount != 0) {
        player.globalNextTick = readTickDelta(view.globalStream, view.globalEventCount);
        player.nextTick = player.globalNextTick;
    }
    for (int32_t n = 0; n < 16; ++n) {
        const ChannelStreams& streams = view.channels[n];
        if (streams.noteCount == 0) continue;   // never read
        ChannelCursor& cursors = player.cursors[n];
        rewind(cursors.notes, streams.notes, streams.noteCount);
        rewind(cursors.program, streams.programs, streams.programCount);
        rewind(cursors.bend, streams.bends, streams.bendCount);
        for (int32_t c = 0; c < 7; ++c)
            rewind(cursors.controllers[c], streams.controllers[c], streams.controllerCount[c]);
        for (int32_t part = 0; part < partCount; ++part)
            keepEarliest(player.nextTick, partCursor(cursors, part), partEventCount(streams, part));
    }
    player.tempoScaled = defaultTempoScaled;
    player.numerator = 4;
    player.denominator = 4;
    player.thirdByte = 8;
    player.resumeChannel = -1;
    player.resumePart = 0;
}

// When the buffer fills up, the step ends it early and remembers where it
// stopped; the next step, at the same tick, goes on from there, so the
// commands come out in the same order as if the buffer were unbounded.
void sequencerStep(ModulePlayer& player) {
    if (player.playing == 0) return;
    const ModuleView& view = player.view;
    const uint32_t tick = player.nextTick;
    player.currentTick = tick;
    uint32_t next = noMoreEvents;
    CommandWriter out{player.commandBuffer, 0, noStatus, false};

    const bool resuming = player.resumeChannel >= 0;
    const int32_t fromChannel = resuming ? player.resumeChannel : 0;
    const int32_t fromPart = resuming ? player.resumePart : 0;
    player.resumeChannel = -1;

    if (!resuming) stepGlobal(player);
    if (player.globalIndex < view.globalEventCount) next = player.globalNextTick;

    for (int32_t n = 0; n < 16; ++n) {
        const ChannelStreams& streams = view.channels[n];
        if (streams.noteCount == 0) continue;
        ChannelCursor& cursors = player.cursors[n];
        for (int32_t part = 0; part < partCount; ++part) {
            StreamCursor& cursor = partCursor(cursors, part);
            const uint32_t count = partEventCount(streams, part);
            const bool done = n < fromChannel || (n == fromChannel && part < fromPart);
            if (!done && !out.full && !emitPart(out, cursor, count, tick, n, part)) {
                player.resumeChannel = n;
                player.resumePart = part;
            }
            keepEarliest(next, cursor, count);
        }
    }
    if (out.full) next = tick;   // a further step at this tick takes the rest

    player.commandBuffer[out.position] = endOfCommands;
    player.nextTick = next;
    if (player.synth != nullptr) synthProcessCommands(*player.synth, player.commandBuffer);
    if (next == noMoreEvents) player.playing = 0;
}
