// Whole songs through a private sound server while every core is kept busy
// (two CPU-bound processes per core): q7m play in a terminal with its
// display on, and the window. The null sink's monitor is recorded and must
// hold the render without a single inserted or missing frame. And the
// server's death while q7m plays ends it at once.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <chrono>
#include <string>
#include <thread>
#include <vector>
#include "private_server.h"
#include "recording_match.h"

using namespace private_server;

namespace {

// Two CPU-bound workers per core, ended with the test (and by their own
// timeout should the test die first).
struct BusyMachine {
    pid_t group = -1;
    explicit BusyMachine(const fs::path& dir) {
        const unsigned workers = 2 * std::max(1u, std::thread::hardware_concurrency());
        group = spawn({"stress-ng", "--cpu", std::to_string(workers), "--timeout", "150", "--quiet"},
                      dir / "stress.out", dir / "stress.log", true);
    }
    ~BusyMachine() { stop(group, true); }
};

std::vector<int16_t> readWav(const fs::path& file, double seconds = 0) {
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    if (!sound) return {};
    std::vector<int16_t> samples(size_t(info.frames) * 2);
    sf_readf_short(sound, samples.data(), info.frames);
    sf_close(sound);
    if (seconds > 0) samples.resize(std::min(samples.size(), size_t(seconds * 44100) * 2));
    return samples;
}

class BusyPlayback : public ::testing::Test {
protected:
    PrivateServer server;
    std::vector<int16_t> reference;

    void SetUp() override {
        for (const char* tool : {"pulseaudio", "parec", "pactl", "stress-ng", "script"})
            if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed";
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);  // the tests' default is the dummy driver
        if (!server.start()) GTEST_SKIP() << "the sound server did not start:\n" << server.log();
        ASSERT_EQ(runToEnd({Q7M_PATH, "render", "-q", "--seed", "1", DEMO_MODULE, "-o",
                            (server.dir / "render.wav").string()},
                           server.dir / "render.log"),
                  0);
    }

    static void expectWholeAndUnbroken(const std::vector<int16_t>& recording, const std::vector<int16_t>& expected) {
        const RecordingMatch match = matchRecording(recording, expected);
        ASSERT_TRUE(match.found) << "the song's first sound is not in the recording";
        EXPECT_FALSE(match.departed) << "a frame inserted or missing at song frame " << match.matchedFrames;
        EXPECT_EQ(match.matchedFrames, expected.size() / 2) << "the recording ended early";
    }
};

}  // namespace

TEST_F(BusyPlayback, PlayInATerminalRecordsTheWholeRenderUnbroken) {
    const std::vector<int16_t> rendered = readWav(server.dir / "render.wav");
    ASSERT_GT(rendered.size(), size_t(30 * 44100 * 2));
    ASSERT_TRUE(server.startRecording());
    int status = -1;
    {
        BusyMachine busy(server.dir);
        // script gives q7m a terminal, so its display draws as for a user.
        const std::string play = std::string("'") + Q7M_PATH + "' play --seed 1 '" + DEMO_MODULE + "'";
        status = runToEnd({"script", "-qec", play, "/dev/null"}, server.dir / "terminal.log");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    expectWholeAndUnbroken(server.stopRecording(), rendered);
    EXPECT_EQ(status, 0);
    std::ifstream in(server.dir / "terminal.log");
    const std::string terminal((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(terminal.find("  tail / "), std::string::npos);
    const size_t underruns = terminal.find("underruns");
    EXPECT_EQ(underruns, std::string::npos)
        << "underruns reported for a clean recording: " << terminal.substr(underruns < 60 ? 0 : underruns - 60, 80);
}

TEST_F(BusyPlayback, WindowRecordsItsFirstFifteenSecondsUnbroken) {
    ASSERT_TRUE(server.startRecording());
    {
        BusyMachine busy(server.dir);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        pid_t window = spawn({WEMBRASTEL_PATH, "--seed", "1", DEMO_MODULE}, server.dir / "window.out",
                             server.dir / "window.log");
        // Fifteen seconds of song after the start, the buffer and the server's set-up.
        std::this_thread::sleep_for(std::chrono::seconds(18));
        stop(window);
    }
    expectWholeAndUnbroken(server.stopRecording(), readWav(server.dir / "render.wav", 15.0));
}

TEST_F(BusyPlayback, LosingTheServerEndsPlayWithinTwoSeconds) {
    pid_t play = spawn({Q7M_PATH, "play", DEMO_MODULE}, server.dir / "play.out", server.dir / "play.log");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    server.kill();
    const auto killed = std::chrono::steady_clock::now();
    int status = 0;
    while (waitpid(play, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() - killed < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
    if (seconds >= 5) stop(play);
    EXPECT_LT(seconds, 2.0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    std::ifstream in(server.dir / "play.log");
    const std::string log((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(log.rfind("q7m: the audio device was lost (", 0), 0u) << log;
}
