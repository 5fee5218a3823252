// q7m import and q7m live end to end: a hand-written MIDI file becomes a
// module as long as the file; a damaged one leaves nothing behind; live
// input from a timed file sounds at its times through SDL's disk driver.

#include <cstring>

#include "cli_test_support.h"

namespace {

class MidiCli : public CliTest {
protected:
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
};

// Format 0, 96 ticks per beat: C4 for 96 ticks at 120 BPM, then the tempo
// halves the beat to 250,000 us and E4 plays 96 ticks more.
const std::string twoNotes(
    "MThd\0\0\0\6\0\0\0\1\0\x60"
    "MTrk\0\0\0\x1d"
    "\0\x90\x3c\x64"
    "\x60\x3c\0"
    "\0\xff\x51\3\3\xd0\x90"
    "\0\x90\x40\x64"
    "\x60\x40\0"
    "\0\xff\x2f\0",
    14 + 8 + 29);

}  // namespace

TEST_F(MidiCli, ImportWritesAModuleAsLongAsTheFileAndRefusesDamage) {
    ToolRun run = q7m("import '" + write("song.mid", twoNotes) + "' -o '" + path("song.q7m") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    // Half a second, then a quarter (the import itself: tests/song).
    EXPECT_NE(q7m("info '" + path("song.q7m") + "'").out.find(", 33075 frames,"), std::string::npos);

    std::string cut = twoNotes;
    cut[21] = 0x40;  // the track claims 64 bytes, 29 are there
    run = q7m("import '" + write("cut.mid", cut) + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cut.mid: a chunk of 64 bytes with 29 left in the file at offset 18"), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(path("cut.json")));
}

TEST_F(MidiCli, LiveInputFromATimedFileSoundsWithinOneSynthFrameOfItsTime) {
    // A dry saw that stops at once on release, for every program.
    write("plain.json", R"({"params": {"eg1Release": 0}})");
    write("map.json", R"({"programs": {"0-127": "plain.json"}})");
    const std::string input = write("in.txt", "0: 90 3C 64\n0.1: 80 3C 00\n0.5: 90 40 64\n0.6: 40 00\n");
    const std::string raw = path("out.raw");
    ToolRun run = q7m("live --midi-in '" + input + "' --patches '" + path("map.json") + "' --seed 1", "",
                      "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=0 SDL_DISKAUDIOFILE='" + raw + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = slurp(raw);
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    // Sound: a sample above 100 (the output filter leaves a small decaying
    // offset after a note).
    auto firstSound = [&](size_t from) {
        size_t i = from * 2;
        while (i < pcm.size() && std::abs(pcm[i]) <= 100 && std::abs(pcm[i + 1]) <= 100) i += 2;
        return i / 2;
    };
    // The disk driver writes silence until the device starts: the first
    // note, due at once, marks the output's first frame.
    const size_t first = firstSound(0), quiet = firstSound(first + 9600), second = firstSound(first + 15000);
    EXPECT_GE(quiet, first + 15000);  // the first note has ended by 0.34 s
    // Due at 0.5 s (frame 22,050), heard within one synthesizer frame.
    EXPECT_GE(second - first, 22050u);
    EXPECT_LT(second - first, 22050u + 128);
}
