// The lane engine on every SIMD target the machine supports, and on two and
// three threads, renders exactly what the scalar engine renders: the golden
// songs, random songs with random patches (every mode and routing) at
// sample rates from 8,000 to 96,000 Hz (frames of 23 to 279 samples, so the
// kernels' partial vectors and blocks are all taken) and the busy song,
// byte for byte.
#include <gtest/gtest.h>

#include "synth/simd/lane_targets.h"
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include "bench/busy_song.h"
#include "golden_render.h"
#include "player/module_player.h"
#include "player/module_writer.h"
#include "player/offline_render.h"
#include "synth/frame_crew.h"
#include "synth/synth.h"

namespace {

namespace fs = std::filesystem;

// A second of random notes on random channels, four random patches (every
// byte 0..128, random routings) and random global settings.
ModuleSource randomSong(uint32_t seed) {
    std::mt19937 rng(seed);
    auto below = [&rng](uint32_t n) { return uint8_t(rng() % n); };
    ModuleSource source;
    source.tempos.push_back({0, 500000});
    for (int32_t k = 0; k < 22; ++k) source.globalParams.push_back(below(129));
    std::vector<PatchRecord> patches(4);
    for (PatchRecord& patch : patches) {
        for (uint8_t& byte : patch.voice) byte = below(129);
        for (uint8_t& byte : patch.channel) byte = below(129);
        patch.polyphony = uint8_t(1 + below(4));
        for (int32_t r = below(6); r > 0; --r) patch.routings.push_back({below(13), below(129), below(84)});
    }
    source.patchBlock = buildPatchBank(patches);
    source.speechTexts = {"hh eh l ow"};
    for (int32_t k = below(12) + 4; k > 0; --k) {
        ChannelEvents& channel = source.channels[below(16)];
        const uint32_t start = channel.notes.empty() ? below(40) : channel.notes.back().tick;
        if (channel.notes.empty()) channel.programs.push_back({0, below(4)});
        const uint8_t key = uint8_t(24 + below(80));
        channel.notes.push_back({start, key, uint8_t(1 + below(127))});
        channel.notes.push_back({start + 1 + below(100), key, 0});
    }
    return source;
}

struct Engine {
    SynthEngine kind;
    int32_t threads;
};

// Random song s plays at randomRates[s % 7], for two seconds.
constexpr int32_t randomRates[] = {44100, 8000, 22050, 48000, 96000, 11025, 32000};
constexpr uint32_t busySong = 50;

std::vector<float> renderSource(const ModuleSource& source, int32_t rate, uint32_t frames, Engine engine) {
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(writeModule(source, image, error)) << error;
    auto synth = std::make_unique<Synth>();
    auto player = std::make_unique<ModulePlayer>();
    const uint32_t seed = 3;
    EXPECT_TRUE(offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, error, rate)) << error;
    synthSetEngine(*synth, engine.kind);
    FrameCrew crew;
    frameCrewStart(crew, *synth, engine.threads);
    std::vector<float> samples(2 * size_t(frames));
    offlineRender(*player, samples.data(), frames);
    frameCrewStop(crew);
    return samples;
}

// Song s of those the writer makes here: two seconds of each random song,
// then half a second of the benchmark's busy song (32 voices whose
// oscillator slots each mix several modes; its notes start, change program
// and end within that).
std::vector<float> renderWritten(uint32_t s, Engine engine) {
    if (s == busySong) return renderSource(busy::source(64), 44100, 22050, engine);
    const int32_t rate = randomRates[s % std::size(randomRates)];
    return renderSource(randomSong(s), rate, 2 * uint32_t(rate), engine);
}

std::vector<float> renderGolden(const fs::path& song, Engine engine) {
    FrameCrew crew;
    GoldenOptions options;
    options.prepare = [engine, &crew](Synth& synth) {
        synthSetEngine(synth, engine.kind);
        frameCrewStart(crew, synth, engine.threads);
    };
    GoldenRender render = goldenRender(song, 1, 0, options);
    frameCrewStop(crew);
    EXPECT_EQ(render.error, "");
    return render.samples;
}

bool sameBytes(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Every SIMD target on one thread, and the best one on two and three.
void expectScalarSamples(const std::vector<fs::path>& golden, uint32_t writtenSongs,
                         const std::vector<std::vector<float>>& scalar,
                         Engine engine, const std::string& name) {
    for (size_t g = 0; g < golden.size(); ++g)
        EXPECT_TRUE(sameBytes(renderGolden(golden[g], engine), scalar[g])) << name << ": " << golden[g].filename();
    for (uint32_t s = 0; s < writtenSongs; ++s)
        EXPECT_TRUE(sameBytes(renderWritten(s, engine), scalar[golden.size() + s]))
            << name << (s == busySong ? ": busy song" : ": random song " + std::to_string(s));
}

}  // namespace

TEST(Engines, EverySimdTargetAndThreadCountRendersWhatTheScalarEngineRenders) {
    std::vector<fs::path> golden;
    for (const auto& entry : fs::directory_iterator(fs::path(WB_GOLDEN_DIR) / "songs"))
        if (entry.path().extension() == ".json") golden.push_back(entry.path());
    constexpr uint32_t writtenSongs = busySong + 1;
    std::vector<std::vector<float>> scalar;
    for (const fs::path& song : golden) scalar.push_back(renderGolden(song, {SynthEngine::scalar, 1}));
    for (uint32_t s = 0; s < writtenSongs; ++s)
        scalar.push_back(renderWritten(s, {SynthEngine::scalar, 1}));

    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        expectScalarSamples(golden, writtenSongs, scalar, {SynthEngine::lanes, 1},
                            laneTargetName(target));
    }
    laneTargetUse(0);
    for (const int32_t threads : {2, 3})
        expectScalarSamples(golden, writtenSongs, scalar, {SynthEngine::lanes, threads},
                            std::to_string(threads) + " threads");
}
