// Render speed through the player's render entry, as a multiple of real
// time ("x_realtime": seconds of sound rendered per second of CPU time):
//   Stress: 32 voices held on 16 channels with every unit and effect active;
//   Light:  4 voices on one channel with the default patch and effects;
//   IdleTails: no voice left, the reverb and the global delay still ringing.
#include <benchmark/benchmark.h>
#include <ctime>
#include <memory>
#include <string>
#include <vector>
#include "player/module_player.h"
#include "player/module_writer.h"
#include "player/offline_render.h"
#include "song/patch_defaults.h"
#include "synth/param_index.h"
#include "synth/synth.h"

namespace {

constexpr uint32_t blockFrames = 4096;       // about what the sound output asks for per pass
constexpr uint32_t heldForTicks = 96 * 100000;  // about 14 hours at 96 ticks per beat

uint8_t& channelByte(PatchRecord& patch, int32_t param) {
    return patch.channel[size_t(param - voiceParamCount)];
}

// A patch that keeps every voice and channel unit busy. variant picks the
// oscillator waveforms, the filter routing and the distortion modes, so
// that across the channels every mode is exercised.
PatchRecord busyPatch(int32_t variant) {
    PatchRecord patch;
    auto& v = patch.voice;
    v[voicePanning] = uint8_t(32 + 4 * variant);
    v[voiceTranspose] = 64;
    const uint8_t modes[3] = {uint8_t(1 + variant % 4), uint8_t(1 + (variant + 1) % 4), 5};
    for (int32_t o = 0; o < 3; ++o) {
        const int32_t base = osc1Mode + 6 * o;
        v[size_t(base)] = modes[o];
        v[size_t(base + 2)] = uint8_t(64 + 12 * o);  // transpose
        v[size_t(base + 3)] = uint8_t(60 + 3 * o);   // detune
        v[size_t(base + 4)] = 40;                    // colour
        v[size_t(base + 5)] = 70;                    // volume
    }
    v[osc2RingMod] = uint8_t(variant & 1);
    v[flt1Mode] = uint8_t(1 + variant % 5);
    v[flt1Cutoff] = 90;
    v[flt1Resonance] = 60;
    v[flt2Mode] = uint8_t(1 + (variant + 2) % 5);
    v[flt2Cutoff] = 70;
    v[flt2Resonance] = 80;
    v[voiceFilterRouting] = uint8_t(1 + variant % 2);  // serial or parallel
    v[voiceFilterBalance] = 64;
    v[vdistMode] = uint8_t(1 + variant % 9);
    v[vdistInGain] = 40;
    v[vdistParam1] = 64;
    v[vdistParam2] = 64;
    v[eg1Attack] = 10;
    v[eg1Decay] = 60;
    v[eg1Sustain] = 110;
    v[eg1SustainTime] = 64;  // no fade while held
    v[eg1Release] = 60;
    v[eg1Gain] = 127;
    v[eg2Attack] = 30;
    v[eg2Decay] = 50;
    v[eg2Sustain] = 80;
    v[eg2SustainTime] = 64;
    v[eg2Release] = 60;
    v[eg2Gain] = 127;
    v[lfo1Mode] = uint8_t(variant % 5);
    v[lfo1Rate] = 70;
    v[lfo1Polarity] = 2;
    v[lfo1Amplitude] = 40;
    v[lfo2Mode] = uint8_t((variant + 3) % 5);
    v[lfo2Rate] = 50;
    v[lfo2Amplitude] = 30;
    channelByte(patch, chanVolume) = 80;
    channelByte(patch, chanReverbSend) = 50;
    channelByte(patch, chanDelaySend) = 40;
    channelByte(patch, chanFxOrder) = uint8_t(variant & 1);
    channelByte(patch, boostAmount) = 60;
    channelByte(patch, cdistMode) = uint8_t(1 + (variant + 4) % 9);
    channelByte(patch, cdistInGain) = 32;
    channelByte(patch, cdistParam1) = 64;
    channelByte(patch, cdistParam2) = 64;
    channelByte(patch, chorusAmount) = 90;
    channelByte(patch, chorusFeedback) = 80;
    channelByte(patch, chorusDelayL) = 30;
    channelByte(patch, chorusDelayR) = 40;
    channelByte(patch, chorusModRate) = 60;
    channelByte(patch, chorusModDepth) = 40;
    channelByte(patch, chorusModPhase) = 64;
    channelByte(patch, compMode) = uint8_t(1 + variant % 2);  // peak or RMS
    channelByte(patch, compStereoLink) = uint8_t(variant & 1);
    channelByte(patch, compAutoGain) = 1;
    channelByte(patch, compLookahead) = 10;
    channelByte(patch, compThreshold) = 50;
    channelByte(patch, compRatio) = 80;
    channelByte(patch, compAttack) = 20;
    channelByte(patch, compRelease) = 50;
    channelByte(patch, compOutGain) = 64;
    patch.polyphony = 2;
    patch.routings = {{10, 100, flt1Cutoff}, {11, 90, voicePanning}, {9, 110, flt2Cutoff},
                      {12, 80, osc1Color}, {0, 90, osc2Volume}, {1, 100, chanVolume}};
    return patch;
}

std::vector<uint8_t> busyGlobals() {
    std::vector<uint8_t> g(globalParamCount, 0);
    g[rvbTime] = 100;
    g[rvbHighCut] = 80;
    g[rvbLowCut] = 20;
    g[rvbVolume] = 80;
    g[dlyAmount] = 90;
    g[dlyFeedback] = 80;
    g[dlyLengthL] = 40;
    g[dlyLengthR] = 52;
    g[dlyModRate] = 30;
    g[dlyModDepth] = 20;
    g[dlyModPhase] = 64;
    g[globalLowCut] = 10;
    g[globalHighCut] = 110;
    g[mcompMode] = 2;
    g[mcompAutoGain] = 1;
    g[mcompLookahead] = 10;
    g[mcompThreshold] = 80;
    g[mcompRatio] = 64;
    g[mcompAttack] = 10;
    g[mcompRelease] = 40;
    g[mcompOutGain] = 64;
    return g;
}

ModuleSource stressSource() {
    ModuleSource source;
    source.globalParams = busyGlobals();
    std::vector<PatchRecord> patches;
    for (int32_t c = 0; c < 16; ++c) patches.push_back(busyPatch(c));
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
    PatchRecord patch = busyPatch(0);
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

void measure(benchmark::State& state, const ModuleSource& source, uint32_t warmUpFrames,
             int32_t expectedVoices) {
    BenchSong song(source);
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
    const double cpuStart = threadCpuSeconds();
    for (auto _ : state) {
        offlineRender(*song.player, song.block.data(), blockFrames);
        benchmark::DoNotOptimize(song.block.data());
    }
    const double cpu = threadCpuSeconds() - cpuStart;
    const double sound = double(state.iterations()) * blockFrames / 44100.0;
    state.counters["x_realtime"] = cpu > 0 ? sound / cpu : 0.0;
}

void BM_RenderStress(benchmark::State& state) { measure(state, stressSource(), 44100, 32); }
void BM_RenderLight(benchmark::State& state) { measure(state, lightSource(), 44100, 4); }
void BM_RenderIdleTails(benchmark::State& state) { measure(state, idleTailSource(), 5 * 44100, 0); }

}  // namespace

BENCHMARK(BM_RenderStress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderLight)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderIdleTails)->Unit(benchmark::kMillisecond);
