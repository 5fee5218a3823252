// q7m dump FILE.q7m [-o SONG.json] [--force]: a module as a song source.
#include <filesystem>
#include <iostream>
#include <memory>
#include "cli/commands.h"
#include "cli/file_io.h"
#include "cli/output_target.h"
#include "player/module.h"
#include "song/song.h"

namespace {
struct DumpOptions {
    std::string input;
    std::string output;
    bool force = false;
};

int runDump(const DumpOptions& options) {
    std::vector<uint8_t> image;
    std::string reason;
    if (!readWholeFile(options.input, image, reason)) {
        std::cerr << "q7m: " << options.input << ": " << reason << "\n";
        return 1;
    }
    auto view = std::make_unique<ModuleView>();
    // The reader refuses files above the module limit, which fits 32 bits.
    if (!parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, reason)) {
        std::cerr << "q7m: " << options.input << ": " << notAModule(image, reason) << "\n";
        return 2;
    }
    const bool toStandardOutput = options.output.empty() || options.output == "-";
    if (!toStandardOutput && !options.force && outputReplacesFile(options.output)) {
        std::cerr << "q7m: " << options.output << ": already exists (use --force to replace it)\n";
        return 1;
    }
    OutputStream output;
    output.file = stdout;
    if (!toStandardOutput && !outputOpen(output, options.output, reason)) {
        std::cerr << "q7m: " << options.output << ": " << reason << "\n";
        return 1;
    }
    dumpModule(*view, [&output](std::string_view text) { return outputWrite(output, text.data(), text.size()); });
    if (outputFinish(output, reason) || (toStandardOutput && reason.empty())) return 0;  // empty: the reader has gone
    std::cerr << "q7m: " << (toStandardOutput ? "standard output" : options.output) << ": " << reason << "\n";
    return 1;
}
}  // namespace

void addDumpCommand(CLI::App& app) {
    auto options = std::make_shared<DumpOptions>();
    CLI::App* command = app.add_subcommand("dump", "Turn a module back into a song source");
    command->add_option("FILE", options->input, "Module file")->required();
    command->add_option("-o,--output", options->output, "Song source to write (default: stdout)");
    command->add_flag("-f,--force", options->force, "Replace an existing output file");
    command->callback([options] { q7mExitStatus = runDump(*options); });
}
