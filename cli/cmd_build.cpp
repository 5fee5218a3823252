#include "cli/commands.h"

void addBuildCommand(CLI::App& app) {
    app.add_subcommand("build", "(not yet available)");
}
