#include "player/module.h"

#include <cstring>

#include "player/byte_reader.h"

const char defaultSpeechText[] = " ";

namespace {

using std::to_string;

std::string channelName(int channel) { return "channel " + to_string(channel); }

std::string truncated(const std::string& what, uint64_t needs, const ByteReader& reader) {
    return what + " is truncated (needs " + to_string(needs) + " bytes at offset " +
           to_string(reader.position) + ", file has " + to_string(reader.size) + ")";
}

bool readField(ByteReader& reader, const std::string& what, uint32_t& value, std::string& reason) {
    if (readerWord(reader, value)) return true;
    reason = truncated(what, 4, reader);
    return false;
}

// Takes a stream of count events of bytesPerEvent bytes each.
bool takeStream(ByteReader& reader, const std::string& what, uint32_t count, uint32_t bytesPerEvent,
                const uint8_t*& start, std::string& reason) {
    const uint64_t bytes = uint64_t(count) * bytesPerEvent;
    start = reader.data + reader.position;
    if (readerSkip(reader, bytes)) return true;
    reason = truncated(what, bytes, reader);
    return false;
}

// A count field followed by its stream.
bool takeCountedStream(ByteReader& reader, const std::string& what, uint32_t bytesPerEvent,
                       uint32_t& count, const uint8_t*& start, std::string& reason) {
    return readField(reader, what + " count", count, reason) &&
           takeStream(reader, what + " stream", count, bytesPerEvent, start, reason);
}

bool parseChannel(ByteReader& reader, int channel, ChannelStreams& streams, std::string& reason) {
    const std::string of = " of " + channelName(channel);
    streams = ChannelStreams{};
    if (!readField(reader, "note count" + of, streams.noteCount, reason)) return false;
    if (streams.noteCount == 0) return true;  // no other streams follow
    if (!takeStream(reader, "note stream" + of, streams.noteCount, 5, streams.notes, reason))
        return false;
    if (!takeCountedStream(reader, "program" + of, 4, streams.programCount, streams.programs, reason))
        return false;
    if (!takeCountedStream(reader, "pitch-bend" + of, 5, streams.bendCount, streams.bends, reason))
        return false;
    for (int c = 0; c < 7; ++c) {
        std::string what = "controller " + to_string(c + 1) + of;
        if (!takeCountedStream(reader, what, 4, streams.controllerCount[c], streams.controllers[c],
                               reason))
            return false;
    }
    return true;
}

// A block whose size field is signed with a valid range of 0 to limit.
bool takeBlock(ByteReader& reader, const std::string& what, int32_t limit, const uint8_t*& start,
               uint32_t& size, std::string& reason) {
    uint32_t field;
    if (!readField(reader, what + " size", field, reason)) return false;
    const int32_t signedSize = int32_t(field);
    if (signedSize < 0 || signedSize > limit) {
        reason = what + " size " + to_string(signedSize) + " is outside 0 to " + to_string(limit);
        return false;
    }
    size = field;
    return takeStream(reader, what, size, 1, start, reason);
}

bool parseSpeechTexts(const uint8_t* block, uint32_t size, ModuleView& view, std::string& reason) {
    if (size < 4) {
        reason = "speech block of " + to_string(size) + " bytes is too short for its text count";
        return false;
    }
    const uint32_t count = wordAt(block);
    if (count > uint32_t(speechTableSlots)) {
        reason = "speech block has " + to_string(count) + " texts; at most 256 are allowed";
        return false;
    }
    if (4 + 4 * uint64_t(count) > size) {
        reason = "speech block of " + to_string(size) + " bytes is too short for the offsets of its " +
                 to_string(count) + " texts";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t offset = wordAt(block + 4 + 4 * i);
        if (offset >= size) {
            reason = "speech text " + to_string(i) + " starts at offset " + to_string(offset) +
                     ", outside the " + to_string(size) + "-byte speech block";
            return false;
        }
        if (std::memchr(block + offset, 0, size - offset) == nullptr) {
            reason = "speech text " + to_string(i) + " has no zero byte before the end of the speech block";
            return false;
        }
    }
    for (uint32_t i = 0; i < count; ++i)
        view.speechTexts[i] = reinterpret_cast<const char*>(block + wordAt(block + 4 + 4 * i));
    view.speechTextCount = count;
    return true;
}

// The file layout, with every read inside the image.
bool parseLayout(ByteReader& reader, ModuleView& view, std::string& reason) {
    if (!readField(reader, "time division", view.timeDivision, reason)) return false;
    view.tickScale = view.timeDivision * 10000u;
    if (!readField(reader, "reserved word", view.reserved, reason)) return false;
    if (!takeCountedStream(reader, "global event", 10, view.globalEventCount, view.globalStream,
                           reason))
        return false;
    for (int channel = 0; channel < 16; ++channel)
        if (!parseChannel(reader, channel, view.channels[channel], reason)) return false;
    if (!takeBlock(reader, "global parameter block", maxGlobalParamSize, view.globalParams,
                   view.globalParamSize, reason))
        return false;
    if (!takeBlock(reader, "patch block", maxPatchDataSize, view.patchBlock, view.patchBlockSize,
                   reason))
        return false;
    uint32_t speechSize;
    if (!readField(reader, "speech block size", speechSize, reason)) return false;
    if (speechSize == 0 || speechSize > maxSpeechDataSize) return true;  // no speech block
    const uint8_t* block;
    if (!takeStream(reader, "speech block", speechSize, 1, block, reason)) return false;
    view.speechBlock = block;
    view.speechBlockSize = speechSize;
    return parseSpeechTexts(block, speechSize, view, reason);
}

// The tick of a stream's last event must stay below the reserved all-ones tick.
bool checkStreamEnd(const uint8_t* stream, uint32_t count, const std::string& what,
                    std::string& reason) {
    uint64_t tick = 0;
    for (uint32_t i = 0; i < count; ++i) tick += readTickDelta(stream + i, count);
    if (tick < noMoreEvents) return true;
    reason = what + " reaches tick " + to_string(tick) + "; events must lie before tick 4294967295";
    return false;
}

bool checkTiming(const ModuleView& view, std::string& reason) {
    if (view.timeDivision == 0 || view.timeDivision > maxTimeDivision) {
        reason = "time division of " + to_string(view.timeDivision) +
                 " ticks per beat is outside 1 to " + to_string(maxTimeDivision);
        return false;
    }
    const uint32_t count = view.globalEventCount;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t tempo = wordAt(view.globalStream + 3 * uint64_t(count) + 4 * uint64_t(i));
        if (tempo < minTempoMicros || tempo > maxTempoMicros) {
            reason = "tempo event " + to_string(i) + " sets " + to_string(tempo) +
                     " microseconds per beat, outside " + to_string(minTempoMicros) + " to " +
                     to_string(maxTempoMicros);
            return false;
        }
    }
    return checkStreamEnd(view.globalStream, count, "global event stream", reason);
}

bool checkChannelStreams(const ChannelStreams& s, int channel, std::string& reason) {
    const std::string of = " of " + channelName(channel);
    if (!checkStreamEnd(s.notes, s.noteCount, "note stream" + of, reason)) return false;
    if (!checkStreamEnd(s.programs, s.programCount, "program stream" + of, reason)) return false;
    if (!checkStreamEnd(s.bends, s.bendCount, "pitch-bend stream" + of, reason)) return false;
    for (int c = 0; c < 7; ++c)
        if (!checkStreamEnd(s.controllers[c], s.controllerCount[c],
                            "controller " + to_string(c + 1) + " stream" + of, reason))
            return false;
    return true;
}

// Marks program 0 and every program (modulo 128) the program streams select.
void collectPrograms(const ModuleView& view, bool (&used)[128]) {
    for (bool& u : used) u = false;
    used[0] = true;
    for (const ChannelStreams& s : view.channels) {
        if (s.noteCount == 0) continue;
        uint8_t program = 0;
        for (uint32_t i = 0; i < s.programCount; ++i) {
            program = uint8_t(program + s.programs[3 * uint64_t(s.programCount) + i]);
            used[program & 0x7F] = true;
        }
    }
}

bool checkPatch(const ModuleView& view, int program, std::string& reason) {
    const uint64_t size = view.patchBlockSize;
    const std::string name = "patch for program " + to_string(program);
    const uint64_t entry = 4 * uint64_t(program);
    if (entry + 4 > size) {
        reason = name + " is missing: the patch block of " + to_string(size) +
                 " bytes ends before its offset table entry (needs " + to_string(entry + 4) + " bytes)";
        return false;
    }
    const uint64_t offset = wordAt(view.patchBlock + entry);
    if (offset + patchRecordFixedBytes > size) {
        reason = name + " at offset " + to_string(offset) + " runs past the " + to_string(size) +
                 "-byte patch block (needs " + to_string(patchRecordFixedBytes) + " bytes)";
        return false;
    }
    const uint64_t length = patchRecordFixedBytes + 3 * uint64_t(view.patchBlock[offset + 85]);
    if (offset + length > size) {
        reason = name + " at offset " + to_string(offset) + " runs past the " + to_string(size) +
                 "-byte patch block (needs " + to_string(length) + " bytes)";
        return false;
    }
    return true;
}

bool checkContent(const ModuleView& view, std::string& reason) {
    if (!checkTiming(view, reason)) return false;
    for (int channel = 0; channel < 16; ++channel)
        if (!checkChannelStreams(view.channels[channel], channel, reason)) return false;
    if (view.globalParamSize < globalParamBytes) {
        reason = "global parameter block has " + to_string(view.globalParamSize) +
                 " bytes; the synthesizer needs at least 22";
        return false;
    }
    bool used[128];
    collectPrograms(view, used);
    for (int program = 0; program < 128; ++program)
        if (used[program] && !checkPatch(view, program, reason)) return false;
    return true;
}

}  // namespace

bool parseModule(const uint8_t* image, uint32_t size, ModuleView& view, std::string& reason) {
    for (const char*& text : view.speechTexts) text = defaultSpeechText;
    view.speechBlock = nullptr;
    view.speechBlockSize = 0;
    view.speechTextCount = 0;
    ByteReader reader{image, image == nullptr ? 0 : size, 0};
    return parseLayout(reader, view, reason) && checkContent(view, reason);
}
