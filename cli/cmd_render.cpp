// q7m render: modules rendered through the library to sound files without a
// sound card, several at once on the machine's cores.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>
#include "cli/commands.h"
#include "cli/render_jobs.h"
#include "include/wembrastel/wembrastel.h"
#include "player/render_length.h"

namespace {

struct RenderOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string format = "s16";
    std::string stemsDir;
    std::string engine = "auto";
    int threads = 0;  // 0: the cores shared among the modules rendered at once
    uint32_t seed = 0;
    uint64_t frames = 0;
    double seconds = 0;
    double tail = defaultTailSeconds;
    uint32_t rate = 44100;
    unsigned jobs = 0;
    bool quiet = false;
    bool force = false;
    CLI::Option* seedOption = nullptr;
    CLI::Option* framesOption = nullptr;
    CLI::Option* secondsOption = nullptr;
};

void onInterrupt(int signal) { renderInterrupt.store(signal); }

// "song.q7m" gives "song.wav"; a name without an extension gets ".wav".
std::string defaultOutputName(const std::string& input, const std::string& extension = ".wav") {
    const size_t slash = input.rfind('/');
    const size_t dot = input.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0 &&
                              (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? input.substr(0, dot) : input) + extension;
}

// The module's own name without folder and extension ("a/song.q7m": "song").
std::string baseName(const std::string& input) {
    const std::string stem = defaultOutputName(input, "");
    const size_t slash = stem.rfind('/');
    return slash == std::string::npos ? stem : stem.substr(slash + 1);
}

std::vector<RenderTask> tasksOf(const RenderOptions& options) {
    std::vector<RenderTask> tasks;
    const bool several = options.inputs.size() > 1;
    for (const std::string& input : options.inputs) {
        RenderTask task{input, options.output.empty() ? defaultOutputName(input) : options.output, ""};
        if (!options.stemsDir.empty())
            task.stemsDir = several ? options.stemsDir + "/" + baseName(input) : options.stemsDir;
        tasks.push_back(task);
    }
    return tasks;
}

// Threads per module: as given, or the cores shared among the modules
// rendered at once.
int threadsPerModule(const RenderOptions& options, unsigned cores, unsigned jobs) {
    if (options.threads) return options.threads;
    const size_t atOnce = std::min<size_t>(jobs, options.inputs.size());
    return int(std::clamp<size_t>(cores / atOnce, 1, WB_MAX_THREADS));
}

RenderSettings settingsOf(const RenderOptions& options, int threads) {
    RenderSettings settings;
    settings.f32 = options.format == "f32";
    settings.seeded = options.seedOption->count() != 0;
    settings.seed = options.seed;
    settings.sampleRate = options.rate;
    settings.fixedLength = options.framesOption->count() || options.secondsOption->count();
    settings.fixedFrames = options.framesOption->count()
                               ? options.frames
                               : tailSecondsToFrames(options.seconds, options.rate);
    settings.tailSeconds = options.tail;
    settings.force = options.force;
    settings.progress = options.inputs.size() == 1 && !options.quiet && isatty(STDERR_FILENO);
    settings.scalarEngine = options.engine == "scalar";
    settings.threads = threads;
    return settings;
}

void runRender(const RenderOptions& options) {
    if (options.inputs.size() > 1 && !options.output.empty()) {
        std::fprintf(stderr, "q7m: -o takes one module; with several, each output goes beside its module\n");
        q7mExitStatus = 2;
        return;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned jobs = options.jobs ? options.jobs : cores;
    const RenderSettings settings = settingsOf(options, threadsPerModule(options, cores, jobs));
    q7mExitStatus = renderAll(tasksOf(options), settings, jobs);
    if (const int signal = renderInterrupt.load()) {
        // Cleaned up: end the way the signal would.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

// Seconds from 0 to maxSeconds (CLI11's own range check prints its bound).
constexpr double maxSeconds = 1e9;
const CLI::Validator nonNegativeSeconds(
    [](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || !(value >= 0) || value > maxSeconds)
            return "expected a number of seconds from 0 to 1000000000, got " + text;
        return "";
    },
    "SECONDS");

}  // namespace

void addRenderCommand(CLI::App& app) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* render = app.add_subcommand(
        "render", "Render modules to WAV or FLAC files (stereo, 44,100 Hz unless --rate) without a "
                  "sound card, several in parallel");
    render->add_option("modules", options->inputs, "The .q7m modules to render")->required();
    CLI::Option* output = render->add_option(
        "-o,--output", options->output,
        "Output file (one module only); .flac gives FLAC, anything else WAV; - writes WAV to "
        "stdout (default: each module's name with .wav)");
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
    render->add_option("--rate", options->rate,
                       "Frames per second, 8000 to 96000; the synthesizer runs natively at it")
        ->check(CLI::Range(8000u, 96000u))
        ->capture_default_str();
    render->add_option("--stems", options->stemsDir,
                       "Write DIR/mix.wav, one DIR/channel-NN.wav per channel with notes and "
                       "DIR/effects.wav instead of one file (several modules: DIR/NAME/...)")
        ->excludes(output);
    render->add_option("-j,--jobs", options->jobs,
                       "Modules rendered at once (default: the number of cores)")
        ->check(CLI::Range(1u, 1024u));
    render->add_option("--engine", options->engine,
                       "auto: voices in SIMD lanes on the machine's best target; scalar: one "
                       "voice at a time (the same samples, slower)")
        ->check(CLI::IsMember({"auto", "scalar"}))
        ->capture_default_str();
    render->add_option("--threads", options->threads,
                       "Threads that render the voices and channels of each frame of a module (the samples "
                       "are the same at every count; default: the cores, shared among the "
                       "modules rendered at once)")
        ->check(CLI::Range(1, WB_MAX_THREADS));
    render->add_flag("-q,--quiet", options->quiet, "No progress bar");
    render->add_flag("-f,--force", options->force, "Replace existing output files");
    render->callback([options] {
        renderInterrupt.store(0);
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
        runRender(*options);
    });
}
