#pragma once
// A private sound server with a null sink for the tests, recorded from the
// sink's monitor, and the child processes around it.
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

extern char** environ;

namespace private_server {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Starts argv[0] (searched in PATH) with stdout and stderr to files, in a
// process group of its own when group is set (so all its children can be
// ended together).
inline pid_t spawn(const std::vector<std::string>& args, const fs::path& out, const fs::path& err,
                   bool group = false) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (group) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Ends a child (its whole group when group is set): SIGTERM, then SIGKILL
// if it has not gone within a second.
inline void stop(pid_t& pid, bool group = false) {
    if (pid <= 0) return;
    kill(group ? -pid : pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
    kill(group ? -pid : pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

inline int runToEnd(const std::vector<std::string>& args, const fs::path& log) {
    pid_t pid = spawn(args, log, log);
    if (pid <= 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool onPath(const char* program) {
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
                          "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=100"},
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

    // Ends the server at once, as a crash would.
    void kill() {
        if (daemon <= 0) return;
        ::kill(daemon, SIGKILL);
        waitpid(daemon, nullptr, 0);
        daemon = -1;
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

}  // namespace private_server
