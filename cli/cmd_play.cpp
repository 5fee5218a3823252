#include "cli/commands.h"

void addPlayCommand(CLI::App& app) {
    app.add_subcommand("play", "(not yet available)");
}
