#include "cli/commands.h"

void addRenderCommand(CLI::App& app) {
    app.add_subcommand("render", "(not yet available)");
}
