// q7m render: a module rendered to a sound file without a sound card.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>
#include "cli/audio_file_writer.h"
#include "cli/commands.h"
#include "cli/file_io.h"
#include "cli/render_progress.h"
#include "player/module_player.h"
#include "player/offline_render.h"
#include "player/pcm.h"
#include "player/render_length.h"
#include "synth/frame_crew.h"
#include "synth/synth.h"

namespace {

struct RenderOptions {
    std::string input;
    std::string output;
    std::string format = "s16";
    std::string engine = "auto";
    int32_t threads = int32_t(std::max(1u, std::thread::hardware_concurrency()));
    uint32_t seed = 0;
    uint64_t frames = 0;
    double seconds = 0;
    double tail = defaultTailSeconds;
    bool quiet = false;
    bool force = false;
    CLI::Option* seedOption = nullptr;
    CLI::Option* framesOption = nullptr;
    CLI::Option* secondsOption = nullptr;
};

constexpr uint32_t chunkFrames = 4096;
constexpr float outputScale = 1.0f * 32768.0f;  // the sound output's scale at volume 1.0

volatile std::sig_atomic_t interruptSignal = 0;

void onInterrupt(int signal) { interruptSignal = signal; }

void fail(int status, const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "q7m: %s: %s\n", file.c_str(), reason.c_str());
    q7mExitStatus = status;
}

// "song.q7m" gives "song.wav"; a name without an extension gets ".wav".
std::string defaultOutputName(const std::string& input) {
    const size_t slash = input.rfind('/');
    const size_t dot = input.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0 &&
                              (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? input.substr(0, dot) : input) + ".wav";
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

// Everything one render needs, on the heap: the synthesizer alone is large.
struct RenderJob {
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();
    std::vector<float> floats = std::vector<float>(2 * chunkFrames);
    std::vector<int16_t> pcm = std::vector<int16_t>(2 * chunkFrames);
    AudioFileWriter writer;
    RenderProgress progress;
    FrameCrew crew;
    ~RenderJob() { frameCrewStop(crew); }
};

// Renders into the open writer; false with the reason on a write failure or
// an interrupt (interruptSignal set).
bool renderFrames(RenderJob& job, const RenderOptions& options, bool fixedLength,
                  uint64_t fixedFrames, std::string& reason) {
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(options.tail));
    const bool f32 = options.format == "f32";
    uint64_t written = 0;
    for (;;) {
        if (interruptSignal) {
            reason = "interrupted";
            return false;
        }
        uint32_t frames = chunkFrames;
        if (fixedLength && fixedFrames - written < frames)
            frames = static_cast<uint32_t>(fixedFrames - written);
        if (frames == 0) return true;
        const uint32_t endOffset = offlineRender(*job.player, job.floats.data(), frames);
        // The 16-bit samples are written for s16 and judge the tail's silence.
        if (!f32 || !fixedLength) convertToPcm16(job.floats.data(), job.pcm.data(), 2 * frames, outputScale);
        const uint32_t keep =
            fixedLength ? frames : renderLengthFeed(length, job.pcm.data(), frames, endOffset);
        const bool ok = f32 ? audioFileWriteF32(job.writer, job.floats.data(), keep, reason)
                            : audioFileWriteS16(job.writer, job.pcm.data(), keep, reason);
        if (!ok) return false;
        written += keep;
        progressUpdate(job.progress, written);
        if (!fixedLength && renderLengthDone(length)) return true;
    }
}

// After cleaning up, an interrupted render ends the way the signal would.
void reraiseInterrupt() {
    const int signal = interruptSignal;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void runRender(const RenderOptions& options) {
    const std::string output =
        options.output.empty() ? defaultOutputName(options.input) : options.output;
    const bool toStdout = output == "-";
    if (toStdout && isatty(STDOUT_FILENO)) {
        fail(2, "-", "standard output is a terminal; redirect it or give -o FILE");
        return;
    }
    if (!toStdout && sameFile(options.input, output)) {
        fail(2, output, "is the input module; choose another output name");
        return;
    }
    if (!toStdout && !options.force && std::filesystem::exists(output)) {
        fail(1, output, "already exists (use --force to replace it)");
        return;
    }
    std::vector<uint8_t> image;
    std::string reason;
    if (!readWholeFile(options.input, image, reason)) return fail(1, options.input, reason);
    if (image.size() > UINT32_MAX)
        return fail(2, options.input, "not a valid module: larger than 4 GiB");
    const uint32_t size = static_cast<uint32_t>(image.size());

    RenderJob job;
    uint64_t songFrames = 0;
    if (!offlineSongFrames(*job.player, image.data(), size, songFrames, reason))
        return fail(2, options.input, "not a valid module: " + reason);
    const uint32_t* seed = options.seedOption->count() ? &options.seed : nullptr;
    if (!offlineOpen(*job.player, *job.synth, image.data(), size, seed, reason))
        return fail(2, options.input, "not a valid module: " + reason);
    synthSetEngine(*job.synth, options.engine == "scalar" ? SynthEngine::scalar : SynthEngine::lanes);
    frameCrewStart(job.crew, *job.synth, options.threads);

    const SampleFormat format = options.format == "f32" ? SampleFormat::f32 : SampleFormat::s16;
    if (format == SampleFormat::f32 && !toStdout && isFlacPath(output))
        return fail(2, output, "FLAC holds no 32-bit float samples (use --format s16 or a .wav name)");
    if (!audioFileOpen(job.writer, output, format, reason)) return fail(1, output, reason);

    const bool fixedLength = options.framesOption->count() || options.secondsOption->count();
    const uint64_t fixedFrames = options.framesOption->count() ? options.frames
                                                               : tailSecondsToFrames(options.seconds);
    progressStart(job.progress, !options.quiet && isatty(STDERR_FILENO), songFrames);
    const bool rendered = renderFrames(job, options, fixedLength, fixedFrames, reason);
    progressFinish(job.progress);
    playerClose(*job.player);
    if (!rendered) {
        audioFileAbandon(job.writer);
        if (interruptSignal) reraiseInterrupt();
        return fail(1, output, reason);
    }
    if (!audioFileFinish(job.writer, reason)) return fail(1, output, reason);
    q7mExitStatus = 0;
}

// Seconds as a number of 0 or more (CLI11's own range check prints its bound).
const CLI::Validator nonNegativeSeconds(
    [](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || !(value >= 0) || value > 1e9)
            return "expected a number of seconds, 0 or more, got " + text;
        return "";
    },
    "SECONDS");

}  // namespace

void addRenderCommand(CLI::App& app) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* render = app.add_subcommand(
        "render", "Render a module to a WAV or FLAC file (44,100 Hz stereo) without a sound card");
    render->add_option("module", options->input, "The .q7m module to render")->required();
    render->add_option("-o,--output", options->output,
                       "Output file; .flac gives FLAC, anything else WAV; - writes WAV to stdout "
                       "(default: the module's name with .wav)");
    render->add_option("--format", options->format, "Sample format: s16 (16-bit, as the sound card "
                       "gets it) or f32 (the synthesizer's floats unchanged)")
        ->check(CLI::IsMember({"s16", "f32"}))
        ->capture_default_str();
    options->seedOption = render->add_option("--seed", options->seed,
                                             "Fixed seed for noise and random generators, "
                                             "so that renders are identical");
    options->framesOption = render->add_option("--frames", options->frames,
                                               "Render exactly N frames from the song's first frame");
    options->secondsOption = render->add_option("--seconds", options->seconds,
                                                "Render exactly S seconds from the song's first frame")
                                 ->check(nonNegativeSeconds);
    options->framesOption->excludes(options->secondsOption);
    render->add_option("--tail", options->tail,
                       "After the song ends, keep its tail until one second of silence, "
                       "at most S seconds")
        ->check(nonNegativeSeconds)
        ->capture_default_str();
    render->add_option("--engine", options->engine,
                       "auto: voices in SIMD lanes on the machine's best target; scalar: one "
                       "voice at a time (the same samples, slower)")
        ->check(CLI::IsMember({"auto", "scalar"}))
        ->capture_default_str();
    render->add_option("--threads", options->threads,
                       "Threads that render the channels of each frame (the samples are the "
                       "same at every count; default: the machine's cores)")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    render->add_flag("-q,--quiet", options->quiet, "No progress bar");
    render->add_flag("-f,--force", options->force, "Replace an existing output file");
    render->callback([options] {
        interruptSignal = 0;
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
        std::signal(SIGPIPE, SIG_IGN);  // a closed pipe on stdout is reported as an error
        runRender(*options);
    });
}
