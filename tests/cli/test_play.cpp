// q7m play end to end: the built tool through SDL's disk driver, compared
// with q7m render of the same module and seed; a missing device; q.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/player/render_test_support.h"

namespace fs = std::filesystem;

namespace {

struct PlayRun {
    int status = -1;
    std::string err;
    double seconds = 0;
};

class PlayCli : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "q7m-play-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    std::string save(const std::string& name, const std::vector<uint8_t>& image) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        return path(name);
    }

    // Runs q7m with env assignments in front and stdin from input.
    PlayRun q7m(const std::string& env, const std::string& args, const std::string& input = "/dev/null") const {
        const std::string command = env + " '" + Q7M_PATH + "' " + args + " <'" + input + "' >/dev/null 2>'" +
                                    path("err.txt") + "'";
        PlayRun run;
        const auto start = std::chrono::steady_clock::now();
        const int raw = std::system(command.c_str());
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(path("err.txt"));
        run.err.assign(std::istreambuf_iterator<char>(in), {});
        return run;
    }
};

std::vector<int16_t> readSamples(const std::string& file, bool raw) {
    std::vector<int16_t> samples;
    if (raw) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        samples.resize(bytes.size() / 2);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16_t(uint16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8));
        return samples;
    }
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    if (!sound) return samples;
    samples.resize(size_t(info.frames) * size_t(info.channels));
    sf_readf_short(sound, samples.data(), info.frames);
    sf_close(sound);
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
    ASSERT_EQ(q7m("", "render -q --seed 9 -o '" + path("song.wav") + "' '" + module + "'").status, 0);
    const std::vector<int16_t> rendered = readSamples(path("song.wav"), false);
    ASSERT_GT(rendered.size(), 2u * 44100);

    const PlayRun run = q7m("SDL_DISKAUDIOFILE='" + path("capture.raw") + "' SDL_DISKAUDIODELAY=15",
                            "play --seed 9 --driver disk '" + module + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int16_t> captured = readSamples(path("capture.raw"), true);

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
    // It stops once the end is heard: at most the buffer ahead, a device
    // chunk and a display refresh (at 1.5 times real time) more.
    const size_t beyond = captured.size() - songStart - rendered.size();
    EXPECT_LT(beyond, size_t(65536 / 2 + 2048 + 2 * 44100 / 5)) << beyond << " samples after the end";
}

TEST_F(PlayCli, WithoutADeviceSaysSoAndFails) {
    const std::string module = save("song.q7m", shortSong());
    const PlayRun run = q7m("", "play --driver nonexistent '" + module + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("q7m: no audio device available (", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("); use q7m render to write a file\n"), std::string::npos) << run.err;
}

TEST_F(PlayCli, QStopsPlayback) {
    const std::string module = save("song.q7m", shortSong());
    std::ofstream(path("keys.txt")) << "q";
    const PlayRun run = q7m("", "play --driver dummy '" + module + "'", path("keys.txt"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(run.seconds, 2.0);  // the song and its tail would take about 3 s
}

TEST_F(PlayCli, RefusesAnInvalidModule) {
    const PlayRun missing = q7m("", "play --driver dummy '" + path("absent.q7m") + "'");
    EXPECT_EQ(missing.status, 1);
    const std::string junk = save("junk.q7m", {1, 2, 3});
    const PlayRun invalid = q7m("", "play --driver dummy '" + junk + "'");
    EXPECT_EQ(invalid.status, 2);
    EXPECT_NE(invalid.err.find("not a valid module"), std::string::npos) << invalid.err;
}
