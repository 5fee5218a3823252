#pragma once
// q7m play's playlist loop: each module in turn through the library into a
// started sound output, under the keys (space pause, n/p next and previous,
// left/right seek 5 s, + and - volume, 1-9 0 a-f mute channels 1-16, q
// quit), with the full-terminal view or the one-line display.
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

struct SoundOutput;
struct PlaySession;

struct PlayLoopOptions {
    bool seeded = false;
    uint32_t seed = 0;
    bool loop = false;   // start over after the last module
};

struct PlayLoopResult {
    int status = 0;          // worst status of the modules that failed to open
    bool deviceLost = false;
    std::string lostReason;
};

PlayLoopResult playLoop(SoundOutput& output, PlaySession& session, const std::vector<std::string>& files,
                        const PlayLoopOptions& options, const volatile std::sig_atomic_t& interrupt);
