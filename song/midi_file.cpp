// Reads Standard MIDI Files (formats 0 and 1) into time-ordered channel
// events and a tempo map. Every read is checked against the bytes left in
// the file or chunk; every refusal names the byte offset in the file.
#include "song/midi_file.h"
#include <algorithm>
#include "player/module.h"

namespace {

constexpr uint8_t metaEndOfTrack = 0x2F;
constexpr uint8_t metaTempo = 0x51;
constexpr uint8_t metaTrackName = 0x03;

// Thrown inside the reader only; readMidiFile turns it into its error text.
struct MidiFault {
    std::string message;
};

[[noreturn]] void fail(const std::string& what, size_t offset) {
    throw MidiFault{what + " at offset " + std::to_string(offset)};
}

std::string hexByte(uint8_t value) {
    const char* digits = "0123456789ABCDEF";
    return std::string("0x") + digits[value >> 4] + digits[value & 15];
}

// A bounded cursor over data[position..end).
struct MidiReader {
    const uint8_t* data;
    size_t position;
    size_t end;
    std::string what;  // named in messages: "the header", "track 2"

    size_t left() const { return end - position; }

    void need(size_t count) const {
        if (count > left()) {
            fail(what + " is truncated (needs " + std::to_string(count) + " bytes, " +
                     std::to_string(left()) + " left)",
                 position);
        }
    }
    uint8_t byte() {
        need(1);
        return data[position++];
    }
    uint32_t bigEndian(int32_t bytes) {
        need(static_cast<size_t>(bytes));
        uint32_t value = 0;
        for (int32_t i = 0; i < bytes; ++i) value = value << 8 | data[position++];
        return value;
    }
    // A variable-length quantity: at most four bytes of seven bits.
    uint32_t quantity() {
        const size_t start = position;
        uint32_t value = 0;
        for (int32_t i = 0; i < 4; ++i) {
            const uint8_t b = byte();
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        fail(what + ": a variable-length number longer than four bytes", start);
    }
    void skip(size_t count) {
        need(count);
        position += count;
    }
};

struct TrackState {
    uint16_t index;
    uint64_t tick = 0;
    uint8_t runningStatus = 0;
    bool ended = false;
};

void checkEventCount(const MidiReader& in, const MidiFile& file) {
    if (file.eventCount + file.tempos.size() >= maxMidiEvents) {
        fail("more than " + std::to_string(maxMidiEvents) + " events, more than a module takes", in.position);
    }
}

// file: where tempos and names are kept; null when the tracks are walked again.
void readMeta(MidiReader& in, TrackState& track, MidiFile* file) {
    const uint8_t type = in.byte();
    const size_t lengthAt = in.position;
    const uint32_t length = in.quantity();
    in.need(length);
    const uint8_t* body = in.data + in.position;
    if (type == metaEndOfTrack) {
        track.ended = true;
    } else if (!file) {  // walked again: read once already
    } else if (type == metaTempo) {
        if (length != 3) fail(in.what + ": a tempo event of " + std::to_string(length) + " bytes", lengthAt);
        const uint32_t micros = uint32_t(body[0]) << 16 | uint32_t(body[1]) << 8 | body[2];
        if (micros == 0 || micros > maxTempoMicros) {
            fail(in.what + ": a tempo of " + std::to_string(micros) + " microseconds per beat (1.." +
                     std::to_string(maxTempoMicros) + " allowed)",
                 lengthAt);
        }
        checkEventCount(in, *file);
        file->tempos.push_back({static_cast<uint32_t>(track.tick), micros});
    } else if (type == metaTrackName && file->trackNames[track.index].empty()) {
        file->trackNames[track.index].assign(reinterpret_cast<const char*>(body), length);
    }
    in.skip(length);
}

MidiEvent readChannelMessage(MidiReader& in, TrackState& track, uint8_t status, MidiFile* file) {
    const bool oneByte = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0;
    uint8_t data[2] = {0, 0};
    for (int32_t i = 0; i < (oneByte ? 1 : 2); ++i) {
        const size_t at = in.position;
        data[i] = in.byte();
        if (data[i] & 0x80) fail(in.what + ": status " + hexByte(data[i]) + " where a data byte belongs", at);
    }
    if (file) {
        checkEventCount(in, *file);
        ++file->eventCount;
    }
    return {static_cast<uint32_t>(track.tick) & maxMidiTick, status, track.index, data[0], data[1]};
}

// Reads one event; true when it is a channel message, then put into event.
bool readEvent(MidiReader& in, TrackState& track, MidiFile* file, MidiEvent& event) {
    const size_t deltaAt = in.position;
    track.tick += in.quantity();
    if (track.tick > maxMidiTick) {
        fail(in.what + ": an event at tick " + std::to_string(track.tick) + ", beyond the longest song (" +
                 std::to_string(maxMidiTick) + " ticks)",
             deltaAt);
    }
    const size_t statusAt = in.position;
    uint8_t status = in.byte();
    if (status < 0x80) {
        if (!track.runningStatus) fail(in.what + ": a data byte with no status before it", statusAt);
        status = track.runningStatus;
        --in.position;  // the byte is the message's first data byte
    }
    if (status == 0xFF) {
        readMeta(in, track, file);
        return false;
    }
    if (status == 0xF0 || status == 0xF7) {  // SysEx: skipped whole
        in.skip(in.quantity());
        return false;
    }
    if (status > 0xEF) fail(in.what + ": status " + hexByte(status) + " has no place in a file", statusAt);
    track.runningStatus = status;
    event = readChannelMessage(in, track, status, file);
    return true;
}

void readTrack(MidiReader& in, uint16_t index, MidiFile& file) {
    TrackState track{index};
    MidiEvent event{};
    while (!track.ended) {
        if (in.left() == 0) fail(in.what + " ends without its end-of-track event", in.position);
        readEvent(in, track, &file, event);
    }
    file.endTick = std::max(file.endTick, static_cast<uint32_t>(track.tick));
}

void readHeader(MidiReader& in, MidiFile& file) {
    if (in.left() < 4 || std::string(reinterpret_cast<const char*>(in.data), 4) != "MThd") {
        fail("not a MIDI file (no \"MThd\" header)", 0);
    }
    in.skip(4);
    const uint32_t length = in.bigEndian(4);
    if (length < 6) fail("a header of " + std::to_string(length) + " bytes (6 needed)", 4);
    in.need(length);
    const size_t next = in.position + length;
    file.format = static_cast<uint16_t>(in.bigEndian(2));
    file.trackCount = static_cast<uint16_t>(in.bigEndian(2));
    const uint16_t division = static_cast<uint16_t>(in.bigEndian(2));
    if (file.format == 2) fail("format 2 (independent songs per track) is not supported; formats 0 and 1 are", 8);
    if (file.format > 2) fail("unknown format " + std::to_string(file.format), 8);
    if (file.format == 0 && file.trackCount != 1) {
        fail("format 0 with " + std::to_string(file.trackCount) + " tracks (exactly 1 expected)", 10);
    }
    if (division & 0x8000) {
        const int32_t frames = -static_cast<int32_t>(static_cast<int8_t>(division >> 8));
        if (frames != 24 && frames != 25 && frames != 29 && frames != 30) {
            fail("an SMPTE time division of " + std::to_string(frames) + " frames per second", 12);
        }
        file.smpteFramesPerSecond = static_cast<uint32_t>(frames);
        file.smpteTicksPerFrame = division & 0xFF;
        file.ticksPerQuarter = file.smpteFramesPerSecond * file.smpteTicksPerFrame;
    } else {
        file.ticksPerQuarter = division;
    }
    if (file.ticksPerQuarter == 0) fail("a time division of 0 ticks", 12);
    in.position = next;
}

void readFile(const uint8_t* data, size_t size, MidiFile& file) {
    file = MidiFile{};
    MidiReader in{data, 0, size, "the header"};
    readHeader(in, file);
    file.trackNames.assign(file.trackCount, "");
    uint16_t tracksRead = 0;
    while (tracksRead < file.trackCount) {
        if (in.left() == 0) {
            fail("the header promises " + std::to_string(file.trackCount) + " tracks, the file has " +
                     std::to_string(tracksRead),
                 in.position);
        }
        in.what = "chunk header";
        in.need(8);
        const bool isTrack = std::string(reinterpret_cast<const char*>(data + in.position), 4) == "MTrk";
        in.skip(4);
        const size_t lengthAt = in.position;
        const uint32_t length = in.bigEndian(4);
        if (length > in.left()) {
            fail("a chunk of " + std::to_string(length) + " bytes with " + std::to_string(in.left()) +
                     " left in the file",
                 lengthAt);
        }
        if (!isTrack) {  // chunks of other kinds are skipped
            in.skip(length);
            continue;
        }
        MidiReader track{data, in.position, in.position + length, "track " + std::to_string(tracksRead + 1)};
        readTrack(track, tracksRead, file);
        file.tracks.push_back({in.position, in.position + length});
        in.position += length;
        ++tracksRead;
    }
    std::stable_sort(file.tempos.begin(), file.tempos.end(),
                     [](const MidiTempo& a, const MidiTempo& b) { return a.tick < b.tick; });
}

// One track walked again: its next channel event.
struct TrackCursor {
    MidiReader in;
    TrackState state;
    MidiEvent event{};

    // False at the track's end.
    bool advance() {
        while (!state.ended) {
            if (readEvent(in, state, nullptr, event)) return true;
        }
        return false;
    }
};

// Earliest first; at one tick the lower track.
bool laterThan(const TrackCursor& a, const TrackCursor& b) {
    return a.event.tick != b.event.tick ? a.event.tick > b.event.tick : a.event.track > b.event.track;
}

}  // namespace

void forEachMidiEvent(const MidiFile& file, const std::function<void(const MidiEvent&)>& visit) {
    std::vector<TrackCursor> heap;
    for (size_t t = 0; t < file.tracks.size(); ++t) {
        const uint16_t index = static_cast<uint16_t>(t);
        TrackCursor cursor{{file.bytes.data(), file.tracks[t].first, file.tracks[t].second, "track"}, {index}, {}};
        if (cursor.advance()) heap.push_back(std::move(cursor));
    }
    std::make_heap(heap.begin(), heap.end(), laterThan);
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), laterThan);
        TrackCursor& cursor = heap.back();
        visit(cursor.event);
        if (!cursor.advance()) {
            heap.pop_back();
            continue;
        }
        std::push_heap(heap.begin(), heap.end(), laterThan);
    }
}

bool readMidiFile(std::vector<uint8_t> bytes, MidiFile& file, std::string& error) {
    try {
        readFile(bytes.data(), bytes.size(), file);
        file.bytes = std::move(bytes);
        return true;
    } catch (const MidiFault& fault) {
        error = fault.message;
    }
    return false;
}
