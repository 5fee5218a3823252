// Through a real sound server: a private sound server with a null sink,
// played to through SDL's pulseaudio driver and recorded from the sink's
// monitor. The recording, aligned by cross-correlation, must equal the
// offline render within one 16-bit step.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "audio/sound_output.h"
#include "audio_test_song.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Starts argv[0] (searched in PATH) with stdout and stderr to files.
pid_t spawn(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Ends a child: SIGTERM, then SIGKILL if it has not gone within a second.
void stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

int runToEnd(const std::vector<std::string>& args, const fs::path& log) {
    pid_t pid = spawn(args, log, log);
    if (pid <= 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool onPath(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A private server: its own runtime directory, home and socket, a null sink
// at the stream format, no configuration files read, no other modules.
// Running as root needs nothing extra beyond --system=false (it only warns).
struct PrivateServer {
    fs::path dir;
    fs::path socket;
    std::string server;  // the address clients use
    pid_t daemon = -1;
    pid_t recorder = -1;

    bool start() {
        dir = fs::temp_directory_path() / ("wb-pulse-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "runtime");
        fs::create_directories(dir / "home");
        fs::permissions(dir / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        socket = dir / "native";
        server = "unix:" + socket.string();
        {
            std::ofstream config(dir / "client.conf");
            config << "autospawn = no\n";
        }
        setenv("HOME", (dir / "home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (dir / "runtime").c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir / "client.conf").c_str(), 1);
        setenv("PULSE_SERVER", server.c_str(), 1);
        setenv("PULSE_SINK", "wbtest", 1);
        daemon = spawn({"pulseaudio", "--daemonize=no", "-n", "--system=false", "--exit-idle-time=-1",
                        "--disallow-exit", "--disable-shm=yes", "--log-target=stderr",
                        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket.string(),
                        "--load=module-null-sink sink_name=wbtest rate=44100 channels=2 format=s16le"},
                       dir / "server.out", dir / "server.log");
        if (daemon <= 0) return false;
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < end) {
            if (runToEnd({"pactl", "--server=" + server, "info"}, dir / "pactl.log") == 0) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Records the sink's monitor until stopRecording; waits until the
    // server lists the recording stream.
    bool startRecording() {
        recorder = spawn({"parec", "--server=" + server, "--device=wbtest.monitor", "--raw",
                          "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=20"},
                         dir / "recording.raw", dir / "parec.log");
        if (recorder <= 0) return false;
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < end) {
            runToEnd({"pactl", "--server=" + server, "list", "short", "source-outputs"}, dir / "outputs");
            std::error_code error;
            if (fs::file_size(dir / "outputs", error) > 0) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    std::vector<int16_t> stopRecording() {
        stop(recorder);
        std::ifstream in(dir / "recording.raw", std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<int16_t> samples(bytes.size() / 2);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = int16_t(uint16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8));
        return samples;
    }

    std::string log() {
        std::ifstream in(dir / "server.log");
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }

    ~PrivateServer() {
        stop(recorder);
        stop(daemon);
        std::error_code error;
        if (!dir.empty()) fs::remove_all(dir, error);
        for (const char* name : {"PULSE_SERVER", "PULSE_SINK", "PULSE_CLIENTCONFIG", "PULSE_RUNTIME_PATH"})
            unsetenv(name);
    }
};

// The recording frame at which reference frame 0 lies: the lag with the
// largest correlation of a stretch of the left channel.
int64_t alignByCorrelation(const std::vector<int16_t>& recording, const std::vector<int16_t>& reference,
                           uint32_t from, uint32_t length) {
    const int64_t recordingFrames = int64_t(recording.size() / 2);
    int64_t bestLag = -1;
    int64_t best = 0;
    for (int64_t at = 0; at + length <= recordingFrames; ++at) {
        int64_t sum = 0;
        for (uint32_t i = 0; i < length; ++i)
            sum += int64_t(recording[2 * (at + i)]) * reference[2 * (from + i)];
        if (sum > best) {
            best = sum;
            bestLag = at - from;
        }
    }
    return bestLag;
}

}  // namespace

TEST(SoundServer, RecordingOfTheNullSinkMatchesTheOfflineRender) {
    if (!onPath("pulseaudio") || !onPath("parec") || !onPath("pactl"))
        GTEST_SKIP() << "pulseaudio, parec or pactl is not installed";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = oldRuntime ? oldRuntime : "";
    struct RestoreEnvironment {
        std::string home, runtime;
        ~RestoreEnvironment() {
            if (home.empty()) unsetenv("HOME");
            else setenv("HOME", home.c_str(), 1);
            if (runtime.empty()) unsetenv("XDG_RUNTIME_DIR");
            else setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        }
    } restore{savedHome, savedRuntime};

    PrivateServer server;
    if (!server.start()) GTEST_SKIP() << "the sound server did not start:\n" << server.log();
    ASSERT_TRUE(server.startRecording());

    const std::vector<uint8_t> image = testSongImage();
    const uint32_t seed = 777;
    const uint32_t frames = 50000;
    const std::vector<int16_t> reference = offlinePcm(image, seed, frames);
    TestPlayer test;
    testPlayerStart(test, image, seed);
    auto output = std::make_unique<SoundOutput>();
    std::string reason;
    ASSERT_TRUE(soundOutputStart(*output, playerRender, test.player.get(), "pulseaudio", &reason))
        << reason;
    // The silent buffer, the song, and half a second for the server's latency.
    const uint32_t wanted = streamBufferBytes + (frames + 22050) * streamFrameBytes;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (output->streamBuffer.consumed.load() < wanted && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(10ms);
    const bool reached = output->streamBuffer.consumed.load() >= wanted;
    const uint32_t underruns = soundOutputUnderruns(*output);
    soundOutputClose(*output);
    std::this_thread::sleep_for(100ms);
    const std::vector<int16_t> recording = server.stopRecording();
    ASSERT_TRUE(reached);
    EXPECT_EQ(underruns, 0u);

    // A stretch with a note change and noise: it occurs once in the song.
    const int64_t lag = alignByCorrelation(recording, reference, 10500, 1024);
    ASSERT_GE(lag, 0);
    ASSERT_LE(size_t(lag + frames) * 2, recording.size()) << "the recording ends too early";
    int32_t worst = 0;
    uint32_t worstFrame = 0;
    for (uint32_t i = 0; i < 2 * frames; ++i) {
        const int32_t difference = std::abs(int32_t(recording[2 * lag + i]) - reference[i]);
        if (difference > worst) {
            worst = difference;
            worstFrame = i / 2;
        }
    }
    EXPECT_LE(worst, 1) << "largest difference at frame " << worstFrame << ", lag " << lag;
    // Before the song, the recording holds the silent buffer (and the sink's silence).
    for (int64_t i = 0; i < 2 * lag; ++i) ASSERT_EQ(recording[i], 0) << "sample " << i;
}
