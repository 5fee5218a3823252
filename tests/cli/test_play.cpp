// q7m play end to end: the built tool through SDL's disk driver, compared
// with q7m render of the same module and seed; a missing device; q.
#include "cli_test_support.h"
#include "tests/player/render_test_support.h"

namespace {

using PlayCli = CliTest;

// Little-endian 16-bit samples as the disk driver writes them.
std::vector<int16_t> rawSamples(const std::string& file) {
    const std::string bytes = slurp(file);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(uint16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8));
    return samples;
}

size_t firstNonZero(const std::vector<int16_t>& samples, size_t from = 0) {
    for (size_t i = from; i < samples.size(); ++i)
        if (samples[i] != 0) return i;
    return samples.size();
}

// Half a second of one note, then its release: about 2.7 s with the
// second of silence that ends a render.
std::vector<uint8_t> shortSong() { return writeOrFail(audibleSource({{0, 57, 100}, {96, 57, 0}})); }

}  // namespace

TEST_F(PlayCli, DiskCaptureHoldsTheRenderAndStopsAfterIt) {
    const std::string module = save("song.q7m", shortSong());
    ASSERT_EQ(q7m("render -q --seed 9 -o '" + path("song.wav") + "' '" + module + "'").status, 0);
    const std::vector<int16_t> rendered = readSound(path("song.wav")).pcm;
    ASSERT_GT(rendered.size(), 2u * 44100);

    const ToolRun run = q7m("play --seed 9 --driver disk '" + module + "'", "",
                            "SDL_DISKAUDIOFILE='" + path("capture.raw") + "' SDL_DISKAUDIODELAY=124");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int16_t> captured = rawSamples(path("capture.raw"));

    // First the buffer of silence, then the muted frames before play, then
    // the song: aligned on the first sound.
    const size_t silentSamples = 65536 / 2;
    const size_t songSound = firstNonZero(rendered);
    const size_t captureSound = firstNonZero(captured);
    ASSERT_LT(songSound, rendered.size());
    ASSERT_GE(captureSound, silentSamples + songSound);
    const size_t songStart = captureSound - songSound;
    ASSERT_EQ(songStart % 2, 0u);
    ASSERT_GE(captured.size(), songStart + rendered.size()) << "playback stopped before the render's end";
    for (size_t i = 0; i < rendered.size(); ++i)
        ASSERT_EQ(captured[songStart + i], rendered[i]) << "sample " << i;
    // It stops once the end is heard: at most the buffer ahead, two device
    // chunks (the one the device holds, and the step of its position) and a
    // display refresh (at 1.5 times real time) more.
    const size_t beyond = captured.size() - songStart - rendered.size();
    EXPECT_LT(beyond, size_t(65536 / 2 + 2 * 16384 + 2 * 44100 / 5)) << beyond << " samples after the end";
}

// Only its own line: the sound library's diagnostics (ALSA's, without a
// configuration that names a device) stay off the terminal.
TEST_F(PlayCli, WithoutADeviceSaysSoAndFails) {
    const std::string module = save("song.q7m", shortSong());
    const ToolRun run = q7m("play --driver alsa '" + module + "'", "", "ALSA_CONFIG_PATH=/dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("q7m: no audio device available (", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find("); use q7m render to write a file\n"), std::string::npos) << run.err;
}

// In a terminal 40 columns wide: every refresh fits on its line, and past
// the song's length the line says tail.
TEST_F(PlayCli, TheDisplayFitsANarrowTerminalAndSaysTail) {
    const std::string module = save("song.q7m", shortSong());
    const std::string play = "stty cols 40; '" + std::string(Q7M_PATH) + "' play --driver dummy '" + module + "'";
    ToolRun run;
    run.status = std::system(("script -qec \"" + play + "\" /dev/null </dev/null >'" + path("tty") + "'").c_str());
    run.out = slurp(path("tty"));
    ASSERT_EQ(run.status, 0) << run.out;
    size_t lines = 0;
    for (size_t start = 0, end; (end = run.out.find('\r', start)) != std::string::npos; start = end + 1) {
        std::string line = run.out.substr(start, end - start);
        line = line.substr(0, line.find("\x1b[K"));
        EXPECT_LT(line.size(), 40u) << line;
        ++lines;
    }
    EXPECT_GT(lines, 10u);
    EXPECT_NE(run.out.find("  tail / 0:00.5"), std::string::npos) << run.out;
}

TEST_F(PlayCli, QStopsPlayback) {
    const std::string module = save("song.q7m", shortSong());
    std::ofstream(path("keys.txt")) << "q";
    const ToolRun run = q7m("play --driver dummy '" + module + "'", "", "", path("keys.txt"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(run.seconds, 2.0);  // the song and its tail would take about 3 s
}

TEST_F(PlayCli, PlaylistOfFilesAndFoldersWithKeysAndLoop) {
    fs::create_directory(path("folder"));
    save("folder/b.q7m", shortSong());
    save("folder/A.Q7M", shortSong());
    save("folder/notes.txt", {1, 2, 3});
    const std::string missing = path("missing.q7m");
    std::ofstream(path("next.txt")) << "nnn";
    const ToolRun run = q7m("play --driver dummy '" + path("folder") + "' '" + missing + "'", "", "",
                            path("next.txt"));
    EXPECT_EQ(run.status, 1);  // the missing module
    const size_t a = run.err.find("[1/3] " + path("folder") + "/A.Q7M\n");
    const size_t b = run.err.find("[2/3] " + path("folder") + "/b.q7m\n");
    EXPECT_TRUE(a != std::string::npos && b != std::string::npos && a < b) << run.err;
    EXPECT_NE(run.err.find("q7m: " + missing + ": "), std::string::npos) << run.err;

    std::ofstream(path("loop.txt")) << "nnnq";
    const ToolRun looped = q7m("play --loop --driver dummy '" + path("folder") + "'", "", "", path("loop.txt"));
    EXPECT_EQ(looped.status, 0);
    EXPECT_NE(looped.err.find("[2/2]"), std::string::npos);
    EXPECT_NE(looped.err.rfind("[1/2]"), looped.err.find("[1/2]")) << "started over: " << looped.err;
}

TEST_F(PlayCli, ChannelKeysMuteEverySound) {
    const std::string module = save("song.q7m", shortSong());
    std::ofstream(path("mute.txt")) << "1234567890abcdef";
    const ToolRun run = q7m("play --seed 9 --driver disk '" + module + "'", "",
                            "SDL_DISKAUDIOFILE='" + path("capture.raw") + "' SDL_DISKAUDIODELAY=15",
                            path("mute.txt"));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int16_t> captured = rawSamples(path("capture.raw"));
    EXPECT_GT(captured.size(), 2u * 44100);
    EXPECT_EQ(firstNonZero(captured), captured.size());
}
