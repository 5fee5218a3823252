#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#include "synth/output_filter.h"
#include "synth/voice/math.h"
#include "synth_test_support.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define WB_HAVE_MXCSR 1
#endif

namespace {

// A small song for the render tests: two channels with reverb and delay sends,
// notes started and released at frame boundaries.
struct Scene {
    std::vector<uint8_t> bank;
    std::vector<uint8_t> globals;
    Scene() {
        PatchRecord lead = heldPatch();
        lead.channel[chanReverbSend - voiceParamCount] = 60;
        lead.channel[chanDelaySend - voiceParamCount] = 50;
        PatchRecord pad = heldPatch();
        pad.voice[osc1Mode] = 3;  // sine
        pad.voice[voicePanning] = 20;
        pad.voice[eg1Release] = 90;
        bank = buildPatchBank({lead, pad});
        globals = openGlobals();
        globals[rvbTime] = 90;
        globals[rvbVolume] = 80;
        globals[rvbHighCut] = 100;
        globals[dlyAmount] = 70;
        globals[dlyFeedback] = 60;
        globals[dlyLengthL] = 30;
        globals[dlyLengthR] = 40;
        globals[globalLowCut] = 3;
        globals[globalHighCut] = 120;
    }
    void start(Synth& synth, int32_t rate = 44100) const {
        initSynth(synth, bank, rate, 77);
        synthSetGlobals(synth, globals.data());
    }
    // Commands applied before frame k (one entry per k that has any).
    static void commandsAt(Synth& synth, int32_t frame) {
        switch (frame) {
            case 0: send(synth, {0xC1, 0x01, 0x90, 0x3C, 0x64, 0x91, 0x30, 0x50, 0xFD}); break;
            case 3: send(synth, {0x90, 0x43, 0x70, 0xB0, 0x01, 0x40, 0xFD}); break;
            case 7: send(synth, {0x80, 0x3C, 0x00, 0x81, 0x30, 0x00, 0xFD}); break;
            case 9: send(synth, {0xB0, 0x7B, 0x00, 0xFD}); break;
            default: break;
        }
    }
};

constexpr int32_t sceneFrames = 24;

// The scene rendered interleaved in calls of at most `chunk` samples, with
// the commands applied at the same frame boundaries.
std::vector<float> renderScene(const Scene& scene, uint32_t chunk) {
    auto synth = makeSynth();
    scene.start(*synth);
    const uint32_t frame = static_cast<uint32_t>(rates.frameLength);
    std::vector<float> out(2 * frame * sceneFrames, 123.0f);
    uint32_t done = 0;
    for (int32_t k = 0; k < sceneFrames; ++k) {
        Scene::commandsAt(*synth, k);
        const uint32_t end = (k + 1) * frame;
        while (done < end) {
            const uint32_t n = std::min(chunk, end - done);
            synthRender(*synth, out.data() + 2 * done, n, nullptr, 0);
            done += n;
        }
    }
    return out;
}

TEST(Render, SplitsGiveIdenticalStreams) {
    Scene scene;
    const std::vector<float> whole = renderScene(scene, 128);
    EXPECT_EQ(renderScene(scene, 1), whole);
    EXPECT_EQ(renderScene(scene, 100), whole);
    EXPECT_EQ(renderScene(scene, 1000), whole);
    // The scene is not silent and not garbage.
    float peak = 0;
    for (float s : whole) {
        ASSERT_TRUE(std::isfinite(s));
        peak = std::max(peak, std::fabs(s));
    }
    EXPECT_GT(peak, 0.01f);
}

// A synth that has just started the scene's first notes.
std::unique_ptr<Synth> startedScene(const Scene& scene) {
    auto synth = makeSynth();
    scene.start(*synth);
    Scene::commandsAt(*synth, 0);
    return synth;
}

TEST(Render, SplitModeAddsOnlyWithTheFlagInterleavedAlwaysOverwrites) {
    Scene scene;
    constexpr uint32_t count = 700;
    std::vector<float> left(count, 4.0f), right(count, 4.0f);
    synthRender(*startedScene(scene), left.data(), count, right.data(), 0);

    auto adding = startedScene(scene);
    std::vector<float> addLeft(count), addRight(count);
    for (uint32_t i = 0; i < count; ++i) {
        addLeft[i] = 0.5f + static_cast<float>(i);
        addRight[i] = -0.25f * static_cast<float>(i);
    }
    synthRender(*adding, addLeft.data(), count / 2, addRight.data(), 1);
    synthRender(*adding, addLeft.data() + count / 2, count - count / 2,
                addRight.data() + count / 2, 1);
    for (uint32_t i = 0; i < count; ++i) {
        ASSERT_EQ(addLeft[i], (0.5f + static_cast<float>(i)) + left[i]) << i;
        ASSERT_EQ(addRight[i], (-0.25f * static_cast<float>(i)) + right[i]) << i;
    }

    std::vector<float> pairs(2 * count, 9.0f);
    synthRender(*startedScene(scene), pairs.data(), count, nullptr, 1);
    for (uint32_t i = 0; i < count; ++i) {
        ASSERT_EQ(pairs[2 * i], left[i]) << i;
        ASSERT_EQ(pairs[2 * i + 1], right[i]) << i;
    }
}

TEST(Seeds, TheSameSeedGivesTheSameSeedsAfterEveryInit) {
    Scene scene;
    auto synth = makeSynth();
    auto snapshot = [&] {
        std::vector<uint32_t> seeds;
        for (const SynthVoice& voice : synth->voices) {
            for (const Oscillator& osc : voice.osc) seeds.push_back(osc.noiseSeed);
            for (const Lfo& lfo : voice.lfo) seeds.push_back(lfo.randSeed);
        }
        return seeds;
    };
    initSynth(*synth, scene.bank, 44100, 0x1234);
    const std::vector<uint32_t> first = snapshot();
    EXPECT_EQ(first[0], 0x1234u);  // voice 0's first oscillator takes draw 0
    initSynth(*synth, scene.bank, 44100, 0x1234);
    EXPECT_EQ(snapshot(), first);
    send(*synth, {0xB0, 0x78, 0x00, 0xFF, 0xFD});  // a reset restarts the draws too
    EXPECT_EQ(snapshot(), first);
    synthInit(*synth, scene.bank.data(), static_cast<uint32_t>(scene.bank.size()), 44100);
    EXPECT_EQ(snapshot(), first);  // the seed stays set across inits
    initSynth(*synth, scene.bank, 44100, 0x1235);
    EXPECT_NE(snapshot(), first);
}

#ifdef WB_HAVE_MXCSR
// A caller running toward zero with flush-to-zero and an exception unmasked
// gets the same samples as one in the default mode, and gets its mode back.
TEST(FpMode, EntriesRenderInTheirOwnModeAndRestoreTheCallers) {
    Scene scene;
    const std::vector<float> expected = renderScene(scene, 128);
    const uint32_t original = _mm_getcsr();
    const uint32_t hostile = (original & ~0x1F80u & ~0x6000u) | 0x6000u | 0x8040u | 0x1F00u;
    auto synth = makeSynth();
    scene.start(*synth);
    std::vector<float> out(expected.size());
    const uint32_t frame = static_cast<uint32_t>(rates.frameLength);
    for (int32_t k = 0; k < sceneFrames; ++k) {
        _mm_setcsr(hostile);
        Scene::commandsAt(*synth, k);
        const uint32_t afterCommands = _mm_getcsr();
        synthRender(*synth, out.data() + 2 * k * frame, frame, nullptr, 0);
        const uint32_t afterRender = _mm_getcsr();
        _mm_setcsr(original);
        ASSERT_EQ(afterCommands, hostile);
        ASSERT_EQ(afterRender, hostile);
    }
    EXPECT_EQ(out, expected);
}
#endif

}  // namespace
