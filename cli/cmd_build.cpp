// q7m build SONG.json [-o OUT.q7m] [--force]: compiles a song source.
#include <filesystem>
#include <iostream>
#include <memory>
#include "cli/commands.h"
#include "cli/file_io.h"
#include "cli/output_target.h"
#include "song/song.h"

namespace {
struct BuildOptions {
    std::string input;
    std::string output;
    bool force = false;
};

int runBuild(const BuildOptions& options) {
    // The source is parsed as it is read, never held whole.
    FileReadBuffer source;
    std::string reason;
    if (!source.open(options.input, maxSongFileBytes, reason)) {
        std::cerr << "q7m: " << options.input << ": " << reason << "\n";
        return 1;
    }
    std::string output = options.output;
    if (output.empty()) output = std::filesystem::path(options.input).replace_extension(".q7m").string();
    if (!options.force && outputReplacesFile(output)) {
        std::cerr << "q7m: " << output << ": already exists (use --force to replace it)\n";
        return 1;
    }
    std::vector<uint8_t> image;
    const std::filesystem::path baseDir = std::filesystem::path(options.input).parent_path();
    std::istream text(&source);
    const bool built = buildSongImage(text, baseDir, image, reason);
    std::string readReason;
    if (!source.complete(readReason)) {
        std::cerr << "q7m: " << options.input << ": " << readReason << "\n";
        return 1;
    }
    if (!built) {
        std::cerr << "q7m: " << options.input << ": " << reason << "\n";
        return 2;
    }
    if (!writeOutputFile(output, image.data(), image.size(), reason)) {
        std::cerr << "q7m: " << output << ": " << reason << "\n";
        return 1;
    }
    return 0;
}
}  // namespace

void addBuildCommand(CLI::App& app) {
    auto options = std::make_shared<BuildOptions>();
    CLI::App* command = app.add_subcommand("build", "Compile a song source (JSON) into a module");
    command->add_option("SONG", options->input, "Song source file")->required();
    command->add_option("-o,--output", options->output, "Module to write (default: SONG with .q7m)");
    command->add_flag("-f,--force", options->force, "Replace an existing output file");
    command->callback([options] { q7mExitStatus = runBuild(*options); });
}
