// Render speed through the player's render entry, as a multiple of real
// time ("x_realtime": seconds of sound rendered per second of CPU time):
//   Stress: 32 voices held on 16 channels with every unit and effect active;
//   Light:  4 voices on one channel with the default patch and effects;
//   IdleTails: no voice left, the reverb and the global delay still ringing.
// Each on the scalar engine, on the lane engine on every SIMD target the
// machine supports, and on the best target with a worker thread beside
// the rendering one ("/threads:2"; there, seconds of sound per second of
// wall time, as noisy as the machine is busy).
#include <benchmark/benchmark.h>
#include <cstdlib>
#include "synth/simd/lane_targets.h"
#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "player/module_player.h"
#include "player/module_writer.h"
#include "player/offline_render.h"
#include "synth/frame_crew.h"
#include "song/patch_defaults.h"
#include "synth/param_index.h"
#include "synth/synth.h"
#include "busy_song.h"

namespace {

constexpr uint32_t blockFrames = 4096;       // about what the sound output asks for per pass
constexpr uint32_t heldForTicks = 96 * 100000;  // about 14 hours at 96 ticks per beat

// The busy song's patches (every oscillator, filter, distortion and
// LFO mode across the channels, every channel effect), with the bus's
// reverb and delay set to ring long, as a dense song's would.
std::vector<uint8_t> busyGlobals() {
    std::vector<uint8_t> g = busy::globals();
    g[rvbTime] = 100;
    g[dlyFeedback] = 80;
    return g;
}

ModuleSource stressSource() {
    ModuleSource source;
    source.globalParams = busyGlobals();
    std::vector<PatchRecord> patches;
    for (int32_t c = 0; c < 16; ++c) patches.push_back(busy::patch(c));
    source.patchBlock = buildPatchBank(patches);
    source.speechTexts = {"hh eh l ow w er l d"};
    for (int32_t c = 0; c < 16; ++c) {
        ChannelEvents& channel = source.channels[size_t(c)];
        channel.programs = {{0, uint8_t(c)}};
        channel.controllers[0] = {{0, 64}};
        const uint8_t key = uint8_t(40 + 3 * c);
        channel.notes = {{0, key, 100}, {0, uint8_t(key + 7), 90},
                         {heldForTicks, key, 0}, {heldForTicks, uint8_t(key + 7), 0}};
    }
    return source;
}

ModuleSource lightSource() {
    ModuleSource source;
    const auto globals = defaultGlobals();
    source.globalParams.assign(globals.begin(), globals.end());
    source.patchBlock = buildPatchBank({defaultPatch()});
    source.channels[0].notes = {{0, 48, 100}, {0, 55, 100}, {0, 60, 100}, {0, 64, 100},
                                {heldForTicks, 48, 0}, {heldForTicks, 55, 0},
                                {heldForTicks, 60, 0}, {heldForTicks, 64, 0}};
    return source;
}

// One short note through the busy reverb and delay; its voice is long gone
// when the measurement starts.
ModuleSource idleTailSource() {
    ModuleSource source;
    source.globalParams = busyGlobals();
    PatchRecord patch = busy::patch(0);
    patch.voice[eg1Release] = 20;
    source.patchBlock = buildPatchBank({patch});
    source.channels[0].notes = {{0, 60, 100}, {24, 60, 0}};
    return source;
}

struct BenchSong {
    std::vector<uint8_t> image;
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();
    std::vector<float> block = std::vector<float>(2 * blockFrames);
    std::string error;

    explicit BenchSong(const ModuleSource& source) {
        if (!writeModule(source, image, error)) return;
        const uint32_t seed = 1;
        offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, error);
    }
    void render(uint32_t frames) {
        for (uint32_t done = 0; done < frames; done += blockFrames)
            offlineRender(*player, block.data(), blockFrames);
    }
    int32_t activeVoices() const {
        int32_t count = 0;
        for (int32_t v = 0; v < synthVoiceCount; ++v) count += synth->voiceChannel[v] >= 0;
        return count;
    }
};

// The render runs on this one thread; its CPU time is what a busy machine
// does not distort.
double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// How a benchmark renders: the engine, the SIMD target (0: the best) and
// the threads.
struct Setup {
    SynthEngine engine;
    int32_t target;
    int32_t threads;
};

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void measure(benchmark::State& state, const ModuleSource& source, uint32_t warmUpFrames,
             int32_t expectedVoices, Setup setup) {
    laneTargetUse(setup.target);
    BenchSong song(source);
    synthSetEngine(*song.synth, setup.engine);
    if (!song.error.empty()) {
        state.SkipWithError(song.error.c_str());
        return;
    }
    song.render(warmUpFrames);
    if (song.activeVoices() != expectedVoices) {
        const std::string message = "expected " + std::to_string(expectedVoices) + " voices, found " +
                                    std::to_string(song.activeVoices());
        state.SkipWithError(message.c_str());
        return;
    }
    FrameCrew crew;
    frameCrewStart(crew, *song.synth, setup.threads);
    const bool threaded = setup.threads > 1;
    const double start = threaded ? wallSeconds() : threadCpuSeconds();
    for (auto _ : state) {
        offlineRender(*song.player, song.block.data(), blockFrames);
        benchmark::DoNotOptimize(song.block.data());
    }
    const double seconds = (threaded ? wallSeconds() : threadCpuSeconds()) - start;
    const double sound = double(state.iterations()) * blockFrames / 44100.0;
    state.counters["x_realtime"] = seconds > 0 ? sound / seconds : 0.0;
    frameCrewStop(crew);
    laneTargetUse(0);
}

// Writes a song's module to the file an environment variable names, if set.
bool writeModuleTo(const char* variable, ModuleSource (*source)()) {
    const char* path = std::getenv(variable);
    std::vector<uint8_t> image;
    std::string error;
    if (!path || !writeModule(source(), image, error)) return false;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return true;
}

// The stress module for the WebAssembly benchmark (bench/wasm_render.mjs) to
// render the same song; the light one for timing a whole `q7m render`.
const bool modulesWritten[] = {writeModuleTo("WB_STRESS_MODULE", stressSource),
                               writeModuleTo("WB_LIGHT_MODULE", lightSource)};

struct Song {
    const char* name;
    ModuleSource (*source)();
    uint32_t warmUpFrames;
    int32_t voices;
};

void registerSong(const Song& song, const std::string& variant, Setup setup) {
    benchmark::RegisterBenchmark(
        (std::string("BM_Render") + song.name + "/" + variant).c_str(),
        [song, setup](benchmark::State& state) {
            measure(state, song.source(), song.warmUpFrames, song.voices, setup);
        })->Unit(benchmark::kMillisecond);
}

const bool registered = [] {
    const Song songs[] = {{"Stress", stressSource, 44100, 32},
                          {"Light", lightSource, 44100, 4},
                          {"IdleTails", idleTailSource, 5 * 44100, 0}};
    for (const Song& song : songs) {
        registerSong(song, "engine:scalar", {SynthEngine::scalar, 0, 1});
        for (int32_t target = 0; target < laneTargetCount(); ++target)
            registerSong(song, std::string("lanes:") + laneTargetName(target),
                         {SynthEngine::lanes, target, 1});
        registerSong(song, "lanes:best/threads:2", {SynthEngine::lanes, 0, 2});
    }
    return true;
}();

}  // namespace
