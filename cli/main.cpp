#include <CLI/CLI.hpp>
#include "cli/commands.h"

#ifndef WEMBRASTEL_VERSION
#define WEMBRASTEL_VERSION "0.0.0"
#endif

int q7mExitStatus = 0;

int main(int argc, char** argv) {
    CLI::App app{"q7m - inspect, render, play and build Wembrastel song modules"};
    app.set_version_flag("--version", "q7m " WEMBRASTEL_VERSION);
    app.require_subcommand(1);
    addInfoCommand(app);
    addRenderCommand(app);
    addPlayCommand(app);
    addBuildCommand(app);
    addDumpCommand(app);
    addImportCommand(app);
    addLiveCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end with 0; a usage error is invalid input.
        return app.exit(e) == 0 ? 0 : 2;
    }
    return q7mExitStatus;
}
