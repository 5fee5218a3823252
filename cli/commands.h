#pragma once
// The q7m subcommands; each adds itself to the application and, when it
// runs, leaves its exit status in q7mExitStatus (0 success, 1 I/O or system
// error, 2 invalid input). Errors go to stderr as "q7m: FILE: reason".
#include <CLI/CLI.hpp>

extern int q7mExitStatus;

void addInfoCommand(CLI::App& app);
void addRenderCommand(CLI::App& app);
void addPlayCommand(CLI::App& app);
void addBuildCommand(CLI::App& app);
void addDumpCommand(CLI::App& app);
void addImportCommand(CLI::App& app);
void addLiveCommand(CLI::App& app);
