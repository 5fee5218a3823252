// q7m import SONG.mid [-o OUT.json|OUT.q7m] [--patches FILE.json]
// [--speech TEXT] [--force]: a Standard MIDI File as a song source or a module.
#include <cctype>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>
#include "cli/commands.h"
#include "cli/file_io.h"
#include "cli/output_target.h"
#include "cli/patch_library.h"
#include "cli/text_pipe.h"
#include "song/midi_import.h"
#include "song/song.h"

namespace {
struct ImportOptions {
    std::string input;
    std::string output;
    std::string patches;
    std::string speech;
    bool force = false;
};

int fail(int status, const std::string& file, const std::string& reason) {
    std::cerr << "q7m: " << file << ": " << reason << "\n";
    return status;
}

bool endsWithModule(const std::string& name) {
    std::string extension = std::filesystem::path(name).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".q7m";
}

void printWarnings(const ImportOptions& options, const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) std::cerr << "q7m: " << options.input << ": " << warning << "\n";
}

// The song source built into a module as it is written: a thread writes the
// text into a pipe that the builder reads, so the text is never held whole.
int importModule(const ImportOptions& options, MidiFile& file, const MidiMapping& mapping,
                 MidiImportOptions importOptions) {
    TextPipe pipe;
    SongListSizes sizes;  // filled in by the writer before the pipe carries the channels
    importOptions.listSizes = &sizes;
    std::vector<std::string> warnings;
    std::string writeError;
    bool imported = false, wrote = false;
    std::thread writer([&] {
        const TextSink sink = [&](std::string_view chunk) {
            wrote = true;
            return pipe.write(chunk);
        };
        imported = writeImportedSong(std::move(file), mapping, importOptions, sink, warnings, writeError);
        pipe.finish();
    });
    std::vector<uint8_t> image;
    std::string reason;
    std::istream source(&pipe);
    const bool built = buildSongImage(source, ".", image, reason, &sizes);
    pipe.close();  // a builder that stopped early lets the writer end
    writer.join();
    printWarnings(options, warnings);
    // Nothing written: a patch file could not be read.
    if (!imported && !wrote) return fail(2, options.input, writeError);
    if (!built) return fail(2, options.input, "the imported song does not build: " + reason);
    if (!writeOutputFile(options.output, image.data(), image.size(), reason)) return fail(1, options.output, reason);
    return 0;
}

int runImport(ImportOptions options) {
    std::vector<uint8_t> data;
    std::string reason;
    if (!readWholeFile(options.input, data, reason)) return fail(1, options.input, reason);
    if (options.output.empty()) {
        options.output = std::filesystem::path(options.input).replace_extension(".json").string();
    }
    const bool toStdout = options.output == "-";
    if (!toStdout && !options.force && outputReplacesFile(options.output)) {
        return fail(1, options.output, "already exists (use --force to replace it)");
    }
    MidiMapping mapping;
    int status = 0;
    if (!loadMidiMapping(options.patches, mapping, reason, status)) return fail(status, options.patches, reason);
    MidiFile file;
    if (!readMidiFile(std::move(data), file, reason)) return fail(2, options.input, reason);
    MidiImportOptions importOptions{std::filesystem::path(options.input).filename().string(),
                                    !options.speech.empty(), options.speech};
    if (endsWithModule(options.output)) return importModule(options, file, mapping, importOptions);
    // The source is written as it is laid out.
    OutputStream output;
    output.file = stdout;
    if (!toStdout && !outputOpen(output, options.output, reason)) return fail(1, options.output, reason);
    const TextSink sink = [&](std::string_view chunk) { return outputWrite(output, chunk.data(), chunk.size()); };
    std::vector<std::string> warnings;
    const bool imported = writeImportedSong(std::move(file), mapping, importOptions, sink, warnings, reason);
    printWarnings(options, warnings);
    if (!imported && !output.error) {  // nothing written: a patch file could not be read
        outputAbandon(output);
        return fail(2, options.input, reason);
    }
    if (outputFinish(output, reason) || (toStdout && reason.empty())) return 0;  // empty: the reader has gone
    return fail(1, toStdout ? "standard output" : options.output, reason);
}
}  // namespace

void addImportCommand(CLI::App& app) {
    auto options = std::make_shared<ImportOptions>();
    CLI::App* command = app.add_subcommand("import", "Turn a Standard MIDI File into a song source or a module");
    command->add_option("SONG", options->input, "MIDI file (format 0 or 1)")->required();
    command->add_option("-o,--output", options->output,
                        "Song source (.json, - for standard output) or module (.q7m) to write "
                        "(default: SONG with .json)");
    command->add_option("--patches", options->patches,
                        "Mapping of programs, drum keys and controllers to patch files (JSON)");
    command->add_option("--speech", options->speech,
                        "Let MIDI channel 16 speak this text (phoneme symbols) on the speech channel");
    command->add_flag("-f,--force", options->force, "Replace an existing output file");
    command->callback([options] { q7mExitStatus = runImport(*options); });
}
