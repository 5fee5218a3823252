#include "player/module_writer.h"

#include <cstring>

namespace {

constexpr uint32_t maxTickDelta = 0xFFFFFFu;   // deltas are stored in three 8-bit planes
constexpr uint32_t maxSpeechBlock = 8191;      // 8192 and more means "no speech block"
constexpr uint32_t maxGlobalBlock = 16384;
constexpr uint32_t maxPatchBlock = 1048576;

void putWord(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

// Checks that the tick deltas of a stream fit three planes.
template <typename Event>
bool checkTicks(const std::vector<Event>& events, const std::string& what, std::string& reason) {
    uint32_t previous = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        uint32_t tick = events[i].tick;
        if (tick == 0xFFFFFFFFu) {
            reason = what + ": event " + std::to_string(i) + " lies at the reserved tick 4294967295";
            return false;
        }
        if (tick < previous) {
            reason = what + ": event " + std::to_string(i) + " at tick " + std::to_string(tick) +
                     " comes before the previous event at tick " + std::to_string(previous);
            return false;
        }
        if (tick - previous > maxTickDelta) {
            reason = what + ": event " + std::to_string(i) + " is " + std::to_string(tick - previous) +
                     " ticks after the previous one; at most 16777215 can be stored";
            return false;
        }
        previous = tick;
    }
    return true;
}

// The three delta planes of checked events.
template <typename Event>
void appendDeltas(std::vector<uint8_t>& out, const std::vector<Event>& events) {
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t previous = 0;
        for (const Event& event : events) {
            out.push_back(uint8_t((event.tick - previous) >> shift));
            previous = event.tick;
        }
    }
}

// Appends a stream as planes: the three delta planes, then one plane per value
// byte, each holding the difference to the previous value.
template <typename Event, size_t K>
bool appendStream(std::vector<uint8_t>& out, const std::vector<Event>& events, const std::string& what,
                  uint8_t (*const (&valueOf)[K])(const Event&), std::string& reason) {
    if (!checkTicks(events, what, reason)) return false;
    appendDeltas(out, events);
    for (size_t plane = 0; plane < K; ++plane) {
        uint8_t running = 0;
        for (const Event& event : events) {
            uint8_t value = valueOf[plane](event);
            out.push_back(uint8_t(value - running));
            running = value;
        }
    }
    return true;
}

uint8_t noteKey(const NoteEvent& e) { return e.key; }
uint8_t noteVelocity(const NoteEvent& e) { return e.velocity; }
uint8_t programValue(const ProgramEvent& e) { return e.program; }
uint8_t bendLow(const BendEvent& e) { return e.low; }
uint8_t bendHigh(const BendEvent& e) { return e.high; }
uint8_t controllerValue(const ControllerEvent& e) { return e.value; }

uint8_t (*const noteValues[2])(const NoteEvent&) = {noteKey, noteVelocity};
uint8_t (*const programValues[1])(const ProgramEvent&) = {programValue};
uint8_t (*const bendValues[2])(const BendEvent&) = {bendLow, bendHigh};
uint8_t (*const controllerValues[1])(const ControllerEvent&) = {controllerValue};

// The global stream: deltas, absolute 4-byte tempos, absolute time signature.
bool appendGlobalStream(std::vector<uint8_t>& out, const std::vector<TempoEvent>& tempos,
                        std::string& reason) {
    if (!checkTicks(tempos, "tempo stream", reason)) return false;
    putWord(out, uint32_t(tempos.size()));
    appendDeltas(out, tempos);
    for (const TempoEvent& e : tempos) putWord(out, e.microsPerBeat);
    for (const TempoEvent& e : tempos) out.push_back(e.numerator);
    for (const TempoEvent& e : tempos) out.push_back(e.denominator);
    for (const TempoEvent& e : tempos) out.push_back(e.third);
    return true;
}

bool hasStreamsBesideNotes(const ChannelEvents& channel) {
    if (!channel.programs.empty() || !channel.bends.empty()) return true;
    for (const auto& controller : channel.controllers)
        if (!controller.empty()) return true;
    return false;
}

bool appendChannel(std::vector<uint8_t>& out, const ChannelEvents& channel, int number,
                   std::string& reason) {
    const std::string name = "channel " + std::to_string(number);
    putWord(out, uint32_t(channel.notes.size()));
    if (channel.notes.empty()) {
        if (!hasStreamsBesideNotes(channel)) return true;
        reason = name + " has program, bend or controller events but no notes; "
                        "a channel without notes cannot store other events";
        return false;
    }
    if (!appendStream(out, channel.notes, name + " notes", noteValues, reason)) return false;
    putWord(out, uint32_t(channel.programs.size()));
    if (!appendStream(out, channel.programs, name + " programs", programValues, reason)) return false;
    putWord(out, uint32_t(channel.bends.size()));
    if (!appendStream(out, channel.bends, name + " pitch bends", bendValues, reason)) return false;
    for (int c = 0; c < 7; ++c) {
        putWord(out, uint32_t(channel.controllers[c].size()));
        std::string what = name + " controller " + std::to_string(c + 1);
        if (!appendStream(out, channel.controllers[c], what, controllerValues, reason)) return false;
    }
    return true;
}

bool appendBlock(std::vector<uint8_t>& out, const std::vector<uint8_t>& block, uint32_t limit,
                 const char* what, std::string& reason) {
    if (block.size() > limit) {
        reason = std::string(what) + " of " + std::to_string(block.size()) + " bytes exceeds the " +
                 std::to_string(limit) + "-byte limit";
        return false;
    }
    putWord(out, uint32_t(block.size()));
    out.insert(out.end(), block.begin(), block.end());
    return true;
}

// Speech block: count, one offset per text (from the count field), the texts.
bool appendSpeech(std::vector<uint8_t>& out, const std::vector<std::string>& texts,
                  std::string& reason) {
    if (texts.empty()) {
        putWord(out, 0);
        return true;
    }
    if (texts.size() > 256) {
        reason = std::to_string(texts.size()) + " speech texts; a module holds at most 256";
        return false;
    }
    size_t blockSize = 4 + 4 * texts.size();
    for (size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].find('\0') != std::string::npos) {
            reason = "speech text " + std::to_string(i) + " contains a zero byte";
            return false;
        }
        blockSize += texts[i].size() + 1;
    }
    if (blockSize > maxSpeechBlock) {
        reason = "speech texts need " + std::to_string(blockSize) +
                 " bytes; the speech block holds at most 8191";
        return false;
    }
    putWord(out, uint32_t(blockSize));
    putWord(out, uint32_t(texts.size()));
    uint32_t offset = uint32_t(4 + 4 * texts.size());
    for (const std::string& text : texts) {
        putWord(out, offset);
        offset += uint32_t(text.size() + 1);
    }
    for (const std::string& text : texts) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    }
    return true;
}

// The image's size in bytes, speech texts at their largest.
size_t imageSizeOf(const ModuleSource& source) {
    size_t size = 8 + 4 + 10 * source.tempos.size();
    for (const ChannelEvents& channel : source.channels) {
        size += 4 * 10 + 5 * channel.notes.size() + 4 * channel.programs.size() + 5 * channel.bends.size();
        for (const auto& controller : channel.controllers) size += 4 * controller.size();
    }
    return size + 8 + source.globalParams.size() + source.patchBlock.size() + 8 + maxSpeechBlock;
}

}  // namespace

bool appendPatchRecord(std::vector<uint8_t>& out, const PatchRecord& patch) {
    if (patch.routings.size() > 255) return false;
    out.insert(out.end(), patch.voice.begin(), patch.voice.end());
    out.insert(out.end(), patch.channel.begin(), patch.channel.end());
    out.push_back(patch.polyphony);
    out.push_back(uint8_t(patch.routings.size()));
    for (const auto& routing : patch.routings) out.insert(out.end(), routing.begin(), routing.end());
    return true;
}

std::vector<uint8_t> buildPatchBank(const std::vector<PatchRecord>& patches) {
    std::vector<uint8_t> records;
    std::vector<uint8_t> bank;
    const uint32_t tableSize = uint32_t(4 * patches.size());
    for (const PatchRecord& patch : patches) {
        putWord(bank, tableSize + uint32_t(records.size()));
        if (!appendPatchRecord(records, patch)) return {};
    }
    bank.insert(bank.end(), records.begin(), records.end());
    return bank;
}

bool writeModule(const ModuleSource& source, std::vector<uint8_t>& image, std::string& reason) {
    std::vector<uint8_t> out;
    out.reserve(imageSizeOf(source));  // a long song's image is not copied as it grows
    putWord(out, source.timeDivision);
    putWord(out, source.reserved);
    if (!appendGlobalStream(out, source.tempos, reason)) return false;
    for (int n = 0; n < 16; ++n)
        if (!appendChannel(out, source.channels[n], n, reason)) return false;
    if (!appendBlock(out, source.globalParams, maxGlobalBlock, "global parameter block", reason))
        return false;
    if (!appendBlock(out, source.patchBlock, maxPatchBlock, "patch block", reason)) return false;
    if (!appendSpeech(out, source.speechTexts, reason)) return false;
    image = std::move(out);
    return true;
}
