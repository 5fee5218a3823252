#include "cli/commands.h"

void addInfoCommand(CLI::App& app) {
    app.add_subcommand("info", "(not yet available)");
}
