// MIDI files written byte by byte (worked out by hand) imported into song
// sources: tempo maps, note pairing, running status, formats 0 and 1, SMPTE
// time, percussion, the sustain pedal and channel 16; damaged files refused
// with the offset of the damage.
#include <gtest/gtest.h>
#include <memory>
#include "player/module.h"
#include "player/song_length.h"
#include "song/midi_import.h"
#include "song/song.h"

using nlohmann::json;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes bigEndian(uint32_t value, int32_t bytes) {
    Bytes out;
    for (int32_t i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
}

// A header chunk and one "MTrk" chunk per track body.
Bytes smf(uint16_t format, uint16_t division, const std::vector<Bytes>& tracks) {
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    for (uint32_t field : {uint32_t(format), uint32_t(tracks.size()), uint32_t(division)}) {
        const Bytes word = bigEndian(field, 2);
        file.insert(file.end(), word.begin(), word.end());
    }
    for (const Bytes& body : tracks) {
        const Bytes length = bigEndian(static_cast<uint32_t>(body.size()), 4);
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        file.insert(file.end(), length.begin(), length.end());
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

json import(const Bytes& bytes, bool speech = false) {
    MidiFile file;
    std::string error;
    EXPECT_TRUE(readMidiFile(bytes, file, error)) << error;
    nlohmann::ordered_json song;
    std::vector<std::string> warnings;
    EXPECT_TRUE(importMidi(file, defaultMidiMapping("songs/patches"), {"test.mid", speech, "ah"}, song, warnings, error))
        << error;
    return json::parse(song.dump());
}

// Builds the song and measures it as the player steps it.
SongLength lengthOf(const json& song) {
    ModuleSource module;
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(compileSong(song, ".", module, error)) << error;
    EXPECT_TRUE(writeModule(module, image, error)) << error;
    auto view = std::make_unique<ModuleView>();
    EXPECT_TRUE(parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, error)) << error;
    return measureSongLength(*view);
}

std::string patchOf(const json& song, int32_t channel) {
    return song["programs"][std::to_string(song["channels"][channel]["programChanges"][0][1].get<int>())];
}

}  // namespace

TEST(MidiImport, Format0TempoChangesAndTheEndOfTrackSetTheLength) {
    const json song = import(smf(0, 96, {{
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500,000 us per beat
        0x00, 0x90, 0x3C, 0x64,                    // C4 on
        0x60, 0x3C, 0x00,                          // 96 ticks later, running status: off
        0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90,  // 250,000 us per beat
        0x00, 0x90, 0x3E, 0x64,
        0x60, 0x80, 0x3E, 0x40,                    // off at 192
        0x60, 0xFF, 0x2F, 0x00,                    // the track ends at 288
    }}));
    EXPECT_EQ(song["timeDivision"], 96);
    EXPECT_EQ(song["channels"][0]["notes"], json::parse("[[0,60,100,96],[96,62,100,96]]"));
    EXPECT_EQ(patchOf(song, 0), "pluck");  // program 0, piano
    const SongLength length = lengthOf(song);
    EXPECT_EQ(length.lastTick, 288u);
    // 96 ticks of half a second, then 192 of a quarter second: one second.
    EXPECT_EQ(length.frames, 44100u);
}

TEST(MidiImport, Format1TakesTempoFromTheFirstTrackAndPairsOverlappingNotesInOrder) {
    const json song = import(smf(1, 96, {
        {0x00, 0xFF, 0x03, 0x04, 'S', 'o', 'n', 'g',
         0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // one second per beat
         0x00, 0xFF, 0x2F, 0x00},
        {0x00, 0xFF, 0x03, 0x04, 'L', 'e', 'a', 'd',
         0x00, 0xC0, 0x50,                          // program 80: synth lead
         0x00, 0x90, 0x40, 0x50,                    // E4 on at 0
         0x18, 0x40, 0x60,                          // and again at 24 (running status)
         0x18, 0x40, 0x00,                          // off at 48: ends the first
         0x18, 0x80, 0x40, 0x00,                    // off at 72: ends the second
         0x00, 0xFF, 0x2F, 0x00},
    }));
    const json& channel = song["channels"][0];
    EXPECT_EQ(channel["name"], "Lead");
    EXPECT_EQ(patchOf(song, 0), "lead");
    EXPECT_EQ(channel["noteEvents"], json::parse("[[0,64,80],[24,64,96],[48,64,0],[72,64,0]]"));
    EXPECT_EQ(lengthOf(song).frames, 33075u);  // 72 ticks of 1/96 s
}

// Tracks merged at one tick in track order; there raw note events give ends
// first, then starts, then the ends of notes of no length.
TEST(MidiImport, TracksMergeAndRawNoteEventsKeepTheirOrderAtOneTick) {
    const json song = import(smf(1, 96, {
        {0x00, 0x90, 0x3C, 0x50,   // C4 on at 0
         0x18, 0x80, 0x3C, 0x00,   // off at 24
         0x00, 0x90, 0x3C, 0x51,   // and on again at 24, never ended
         0x00, 0x40, 0x52,         // E4 on and off at 24
         0x00, 0x40, 0x00,
         0x30, 0xFF, 0x2F, 0x00},  // the end at 72
        {0x18, 0x90, 0x3E, 0x53,   // D4 on at 24 in the second track
         0x18, 0x3E, 0x00,         // off at 48
         0x00, 0xFF, 0x2F, 0x00},
    }));
    EXPECT_EQ(song["channels"][0]["noteEvents"],
              json::parse("[[0,60,80],[24,60,0],[24,60,81],[24,64,82],[24,62,83],[24,64,0],[48,62,0],[72,60,0]]"));
}

TEST(MidiImport, PercussionKeysSustainAndChannel16TakeTheirChannels) {
    const Bytes track = {
        0x00, 0x99, 0x24, 0x64,  // kick (36) on channel 10
        0x00, 0x26, 0x64,        // snare (38), running status
        0x18, 0x89, 0x24, 0x00,
        0x00, 0x26, 0x00,
        0x00, 0x9F, 0x3C, 0x64,  // channel 16 at 24
        0x18, 0x8F, 0x3C, 0x00,
        0x00, 0xB0, 0x40, 0x7F,  // channel 1: pedal down at 48
        0x00, 0x90, 0x30, 0x64,
        0x18, 0x80, 0x30, 0x00,  // released at 72 while the pedal holds it
        0x18, 0xB0, 0x40, 0x00,  // pedal up at 96
        0x00, 0xFF, 0x2F, 0x00,
    };
    const json song = import(smf(0, 96, {track}));
    const json& channels = song["channels"];
    EXPECT_EQ(channels[0]["notes"], json::parse("[[48,48,100,48]]"));
    EXPECT_EQ(channels[9]["notes"], json::parse("[[0,43,100,24]]"));   // kick plays at key 43
    EXPECT_EQ(patchOf(song, 9), "kick");
    // Channel 16 moves to the highest free channel, the snare to the next.
    EXPECT_EQ(channels[14]["notes"], json::parse("[[24,60,100,24]]"));
    EXPECT_EQ(channels[13]["notes"], json::parse("[[0,60,100,24]]"));
    EXPECT_EQ(patchOf(song, 13), "snare");
    EXPECT_EQ(channels.size(), 15u);

    const json speaking = import(smf(0, 96, {track}), true);
    EXPECT_EQ(speaking["channels"][15]["notes"], json::parse("[[24,60,100,24]]"));
    EXPECT_EQ(patchOf(speaking, 15), "speech");
    EXPECT_EQ(speaking["speech"], json::parse("[\"ah\"]"));
    EXPECT_EQ(speaking["channels"][14]["notes"], json::parse("[[0,60,100,24]]"));  // the snare
}

TEST(MidiImport, SmpteTimeBecomesTicksAtAFixedTempo) {
    // 25 frames of 40 ticks: 1000 ticks a second; a note of 500 ticks.
    const json song = import(smf(0, 0xE728, {{0x00, 0x90, 0x3C, 0x64, 0x83, 0x74, 0x80, 0x3C, 0x00,
                                                0x00, 0xFF, 0x2F, 0x00}}));
    EXPECT_EQ(song["timeDivision"], 1000);
    EXPECT_EQ(song["tempo"], json::parse(R"([{"tick":0,"microsPerBeat":1000000}])"));
    EXPECT_EQ(lengthOf(song).frames, 22050u);
}

TEST(MidiImport, DamagedFilesAreRefusedWithTheOffset) {
    // Track bodies start at offset 22 (14 header bytes, 8 chunk header bytes).
    const struct {
        Bytes file;
        const char* message;
    } cases[] = {
        {smf(2, 96, {{0x00, 0xFF, 0x2F, 0x00}}), "format 2 (independent songs per track) is not supported"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 4}, "not a MIDI file (no \"MThd\" header) at offset 0"},
        {[] {
             Bytes f = smf(0, 96, {{0x00, 0xFF, 0x2F, 0x00}});
             f[21] = 100;  // the chunk claims 100 bytes, 4 are there
             return f;
         }(),
         "a chunk of 100 bytes with 4 left in the file at offset 18"},
        {smf(0, 96, {{0x00, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}}), "a data byte with no status before it at offset 23"},
        {smf(0, 96, {{0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x2F, 0x00}}),
         "a tempo of 0 microseconds per beat (1..9739154 allowed) at offset 25"},
        {smf(0, 96, {{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0x00}}), "an event at tick 268435455, beyond the longest song"},
        {smf(0, 96, {{0x00, 0x90, 0x3C}}), "track 1 is truncated (needs 1 bytes, 0 left) at offset 25"},
        {smf(0, 96, {{0x00, 0x90, 0x3C, 0x64}}), "track 1 ends without its end-of-track event at offset 26"},
        {smf(0, 96, {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}}), "longer than four bytes at offset 22"},
    };
    for (const auto& c : cases) {
        MidiFile file;
        std::string error;
        EXPECT_FALSE(readMidiFile(c.file, file, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}
