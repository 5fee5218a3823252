#include "cli/commands.h"

void addDumpCommand(CLI::App& app) {
    app.add_subcommand("dump", "(not yet available)");
}
