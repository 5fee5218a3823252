// The window program ends through its normal ending (exit status 0) on
// SIGTERM and SIGINT, whether a module plays or nothing is loaded.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// True once the process catches both signals (its SigCgt mask in /proc).
bool catchesEndingSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (SIGTERM - 1) & 1) && (mask >> (SIGINT - 1) & 1);
    }
    return false;
}

// The process's wait status once it ends within the deadline; otherwise it
// is killed and -1 returned.
int endWithin(pid_t pid, std::chrono::seconds deadline) {
    const auto until = Clock::now() + deadline;
    int status = 0;
    while (Clock::now() < until) {
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace

TEST(SignalEnding, TermAndIntEndTheWindowNormally) {
    struct Case { int signal; const char* module; };
    for (const Case& c : {Case{SIGTERM, "tests/data/demo.q7m"}, Case{SIGINT, "tests/data/demo.q7m"},
                          Case{SIGTERM, nullptr}}) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.module ? " while playing" : " while idle"));
        const std::string program = std::string(WB_BUILD_DIR) + "/wembrastel";
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        if (c.module) argv.push_back(const_cast<char*>(c.module));
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (!catchesEndingSignals(pid) && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The module, if any, is opened right after the handlers are in place.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(pid, c.signal);
        const int status = endWithin(pid, std::chrono::seconds(5));
        EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}
