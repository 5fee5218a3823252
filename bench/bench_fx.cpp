// Cost of the effect units per frame of 128 samples, and of an idle synth
// frame (no voices: channel updates, reverb, global delay, master compressor).
#include <benchmark/benchmark.h>
#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>
#include "player/module_writer.h"
#include "synth/fp_mode.h"
#include "synth/fx/bass_boost.h"
#include "synth/fx/channel_fx.h"
#include "synth/fx/compressor.h"
#include "synth/fx/mod_delay.h"
#include "synth/fx/reverb.h"
#include "synth/param_index.h"
#include "synth/simd/bass_boost_lanes.h"
#include "synth/simd/mod_delay_lanes.h"
#include "synth/simd/reverb_lanes.h"
#include "synth/synth.h"
#include "synth/voice/distortion.h"
#include "synth/voice/math.h"

namespace {

constexpr int32_t frame = 128;
constexpr float smallestDenormal = 1.40129846e-45f;

std::vector<float> noise(size_t count, float amplitude, uint32_t seed = 1) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-amplitude, amplitude);
    std::vector<float> v(count);
    for (float& x : v) x = u(gen);
    return v;
}

// Runs a stereo in-place unit over a fresh copy of a noise frame per iteration.
template <typename Process>
void runStereo(benchmark::State& state, Process process, float amplitude = 0.5f) {
    FpModeGuard fpMode;
    const std::vector<float> input = noise(2 * frame, amplitude);
    std::vector<float> buffer(2 * frame);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), buffer.begin());
        process(buffer.data());
        benchmark::DoNotOptimize(buffer.data());
    }
}

struct DelayUnit {
    std::vector<float> left, right;
    ModDelay unit{};
    DelayUnit(int32_t length, const std::array<float, 7>& p) : left(length), right(length) {
        modDelayBind(unit, left.data(), right.data(), length - 1);
        modDelayClear(unit);
        modDelaySetup(unit, p.data());
    }
};

// Argument 1: the lane engine's delay on the best SIMD target.
void BM_Chorus(benchmark::State& state) {
    DelayUnit d(2048, {100, 90, 20, 24, 64, 40, 32});
    if (state.range(0) != 0) runStereo(state, [&](float* b) { modDelayLanesStereo(d.unit, b, frame); });
    else runStereo(state, [&](float* b) { modDelayProcessStereo(d.unit, b, frame); });
}
BENCHMARK(BM_Chorus)->Arg(0)->Arg(1);

// The global delay from the mono bus; argument 1: the lines hold only the
// smallest denormal, as a decayed echo with feedback above 0.5 leaves them;
// + 10: the lane engine's delay.
void BM_GlobalDelay(benchmark::State& state) {
    FpModeGuard fpMode;
    DelayUnit d(32768, {100, 110, 40, 50, 30, 20, 0});
    if (state.range(0) % 10 != 0) {
        std::fill(d.left.begin(), d.left.end(), smallestDenormal);
        std::fill(d.right.begin(), d.right.end(), smallestDenormal);
    }
    const std::vector<float> bus(frame, 0.0f);
    std::vector<float> mix(2 * frame, 0.0f);
    for (auto _ : state) {
        if (state.range(0) >= 10) modDelayLanesSend(d.unit, bus.data(), mix.data(), frame);
        else modDelayProcessSend(d.unit, bus.data(), mix.data(), frame);
        benchmark::DoNotOptimize(mix.data());
    }
}
BENCHMARK(BM_GlobalDelay)->Arg(0)->Arg(1)->Arg(10)->Arg(11);

// Argument: compMode (1 peak, 2 RMS) + 10 x compStereoLink, + 100 for the
// lane engine's one-loop compressor.
void BM_Compressor(benchmark::State& state) {
    auto comp = std::make_unique<Compressor>();
    compressorInit(*comp);
    const float mode = static_cast<float>(state.range(0) % 10);
    const float link = static_cast<float>(state.range(0) / 10 % 10);
    const float p[9] = {mode, link, 1, 20, 50, 100, 30, 60, 64};
    compressorSetup(*comp, p);
    std::vector<float> levels(2 * frame);
    if (state.range(0) >= 100)
        runStereo(state, [&](float* b) { compressorProcessFused(*comp, b, levels.data(), frame); });
    else
        runStereo(state, [&](float* b) { compressorProcess(*comp, b, levels.data(), frame); });
}
BENCHMARK(BM_Compressor)->Arg(1)->Arg(2)->Arg(11)->Arg(12)->Arg(101)->Arg(102)->Arg(111)->Arg(112);

// Separate peak detector on silence; argument 1: the peaks sit at the
// denormal where 0.9998 x peak rounds back to peak (after ~10 s of silence).
void BM_CompressorSilentPeak(benchmark::State& state) {
    auto comp = std::make_unique<Compressor>();
    compressorInit(*comp);
    const float p[9] = {1, 1, 1, 20, 50, 100, 30, 60, 64};
    compressorSetup(*comp, p);
    if (state.range(0) != 0) comp->peakL = comp->peakR = 2000 * smallestDenormal;
    std::vector<float> levels(2 * frame);
    runStereo(state, [&](float* b) { compressorProcess(*comp, b, levels.data(), frame); }, 0.0f);
}
BENCHMARK(BM_CompressorSilentPeak)->Arg(0)->Arg(1);

// Argument 1: the lane engine's reverb on the best SIMD target.
void BM_Reverb(benchmark::State& state) {
    FpModeGuard fpMode;
    auto reverb = std::make_unique<Reverb>();
    const float p[4] = {100, 100, 20, 100};
    reverbSetup(*reverb, p);
    const std::vector<float> bus = noise(frame, 0.5f);
    std::vector<float> mix(2 * frame, 0.0f);
    for (auto _ : state) {
        if (state.range(0) != 0) reverbLanesProcess(*reverb, bus.data(), mix.data(), frame);
        else reverbProcess(*reverb, bus.data(), mix.data(), frame);
        benchmark::DoNotOptimize(mix.data());
    }
}
BENCHMARK(BM_Reverb)->Arg(0)->Arg(1);

void BM_BassBoost(benchmark::State& state) {
    BassBoost boost{};
    bassBoostSetup(boost, 80);
    runStereo(state, [&](float* b) { bassBoostProcess(boost, b, frame); });
}
BENCHMARK(BM_BassBoost);

// Sixteen channels' bass boosts: one by one (argument 0) or together in
// lanes on the best SIMD target (1).
void BM_BassBoost16(benchmark::State& state) {
    std::vector<BassBoost> boosts(16);
    for (BassBoost& b : boosts) bassBoostSetup(b, 80);
    const std::vector<float> input = noise(2 * frame * 16, 0.5f);
    std::vector<float> buffer(input.size());
    std::vector<BassBoost*> units;
    std::vector<float*> buffers;
    for (int32_t k = 0; k < 16; ++k) {
        units.push_back(&boosts[k]);
        buffers.push_back(buffer.data() + 2 * frame * k);
    }
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), buffer.begin());
        if (state.range(0) != 0) bassBoostLanes(units.data(), buffers.data(), 16, frame);
        else
            for (int32_t k = 0; k < 16; ++k) bassBoostProcess(boosts[k], buffers[k], frame);
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_BassBoost16)->Arg(0)->Arg(1);

// Channel distortion, stereo: argument = mode (1 overdrive, 2 clip, 3 crush, 4 decimate, 5 low-pass).
void BM_ChannelDistortion(benchmark::State& state) {
    Distortion dist{};
    distInit(dist);
    const float p[4] = {static_cast<float>(state.range(0)), 50, 100, 60};
    distSetup(dist, p);
    runStereo(state, [&](float* b) { distProcessStereo(dist, b, b, frame); });
}
BENCHMARK(BM_ChannelDistortion)->DenseRange(1, 5);

PatchRecord busyChannelPatch() {
    PatchRecord patch;
    const std::array<uint8_t, 25> channel = {
        100, 40, 30, 0, 80,          // volume, sends, order, boost
        1, 40, 100, 64,              // overdrive
        100, 90, 20, 24, 64, 40, 32,  // chorus
        2, 0, 1, 20, 50, 100, 30, 60, 64};  // RMS compressor
    patch.channel = channel;
    patch.polyphony = 8;
    return patch;
}

std::array<uint8_t, 22> busyGlobals() {
    std::array<uint8_t, 22> g{};
    const std::array<uint8_t, 22> values = {100, 100, 20, 100,             // reverb
                                            90, 100, 40, 50, 30, 20, 0,   // delay
                                            5, 120,                       // output cuts
                                            1, 0, 1, 10, 60, 80, 20, 60, 64};  // master
    g = values;
    return g;
}

// The whole channel chain with every unit at work, sends and mix included.
void BM_ChannelChain(benchmark::State& state) {
    FpModeGuard fpMode;
    auto synth = std::make_unique<Synth>();
    const std::vector<uint8_t> bank = buildPatchBank({busyChannelPatch()});
    synthInit(*synth, bank.data(), static_cast<uint32_t>(bank.size()), 44100);
    channelFxUpdate(*synth, 0);
    const std::vector<float> input = noise(2 * frame, 0.5f);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), synth->channelBuffer);
        channelFxProcess(*synth, 0, frame);
        benchmark::DoNotOptimize(synth->mainMix);
    }
}
BENCHMARK(BM_ChannelChain);

// The control-rate part of every frame: the 16 channel parameter updates
// with their unit set-ups.
void BM_ChannelUpdates(benchmark::State& state) {
    FpModeGuard fpMode;
    auto synth = std::make_unique<Synth>();
    const std::vector<uint8_t> bank = buildPatchBank({busyChannelPatch()});
    synthInit(*synth, bank.data(), static_cast<uint32_t>(bank.size()), 44100);
    for (auto _ : state) {
        for (int32_t c = 0; c < synthChannelCount; ++c) channelFxUpdate(*synth, c);
        benchmark::DoNotOptimize(synth->channels);
    }
}
BENCHMARK(BM_ChannelUpdates);

// One frame of a synth without voices: the 16 channel updates, the reverb,
// the global delay, the output cuts and the master compressor. Argument 1:
// the delay lines hold denormals left by a decayed echo.
void BM_IdleSynthFrame(benchmark::State& state) {
    auto synth = std::make_unique<Synth>();
    const std::vector<uint8_t> bank = buildPatchBank({busyChannelPatch()});
    synthInit(*synth, bank.data(), static_cast<uint32_t>(bank.size()), 44100);
    const std::array<uint8_t, 22> globals = busyGlobals();
    synthSetGlobals(*synth, globals.data());
    if (state.range(0) != 0)
        for (auto& line : synth->delayLines) std::fill(std::begin(line), std::end(line), smallestDenormal);
    std::vector<float> out(2 * frame);
    for (auto _ : state) {
        synthRender(*synth, out.data(), frame, nullptr, 0);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_IdleSynthFrame)->Arg(0)->Arg(1);

}  // namespace
