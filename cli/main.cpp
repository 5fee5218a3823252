#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include "cli/commands.h"

#ifndef WEMBRASTEL_VERSION
#define WEMBRASTEL_VERSION "0.0.0"
#endif

int q7mExitStatus = 0;

namespace {

constexpr const char* versionText = "q7m " WEMBRASTEL_VERSION;

// What the command line asks before CLI11 parses it: --version anywhere
// (before a "--") answers at once, whatever else is given; the first word
// that is not an option must name a command.
enum class Early { none, version, unknownCommand };

Early earlyAnswer(const CLI::App& app, int argc, char** argv, std::string& word) {
    bool commandSeen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg == "--version") return Early::version;
        if (commandSeen || arg.empty() || arg[0] == '-') continue;
        commandSeen = true;
        bool known = false;
        for (const CLI::App* command : app.get_subcommands({}))
            known = known || command->check_name(arg);
        if (!known) {
            word = arg;
            return Early::unknownCommand;
        }
    }
    return Early::none;
}

// Standard output is checked once at the end: a write error fails the run
// with the system's reason, and a reader that went away (a closed pipe)
// ends it quietly and successfully, as it does for cat.
int finishStandardOutput(int status) {
    errno = 0;
    const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
    if (!failed) return status;
    if (errno == EPIPE) return status;
    std::fprintf(stderr, "q7m: standard output: %s\n", std::strerror(errno ? errno : EIO));
    return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as EPIPE, handled per write
    CLI::App app{"q7m - inspect, render, play and build Wembrastel song modules"};
    app.set_version_flag("--version", versionText);
    app.require_subcommand(1);
    addInfoCommand(app);
    addRenderCommand(app);
    addPlayCommand(app);
    addBuildCommand(app);
    addDumpCommand(app);
    std::string word;
    switch (earlyAnswer(app, argc, argv, word)) {
    case Early::version:
        std::puts(versionText);
        return finishStandardOutput(0);
    case Early::unknownCommand:
        std::fprintf(stderr, "q7m: %s: not a command (the commands: info, render, play, build, dump; "
                             "see q7m --help)\n", word.c_str());
        return 2;
    case Early::none:
        break;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help ends with 0; a usage error is invalid input.
        return finishStandardOutput(app.exit(e) == 0 ? 0 : 2);
    }
    return finishStandardOutput(q7mExitStatus);
}
