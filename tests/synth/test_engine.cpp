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
    const uint32_t frame = static_cast<uint32_t>(synth->rates.frameLength);
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

TEST(Render, OneSampleRendersAWholeFrameAndTheNext127NothingNew) {
    Scene scene;
    auto synth = makeSynth();
    scene.start(*synth);
    Scene::commandsAt(*synth, 0);
    float pair[2], rest[2 * 127];
    synthRender(*synth, pair, 1, nullptr, 0);
    EXPECT_EQ(synth->frameLeft, 127);
    EXPECT_EQ(pair[0], synth->mainMix[0]);
    EXPECT_EQ(pair[1], synth->mainMix[1]);
    // Which samples the rest hands out the split renders below compare.
    synthRender(*synth, rest, 127, nullptr, 0);
    EXPECT_EQ(synth->frameLeft, 0);
    // Commands between calls wait for the next frame; a zero count does nothing.
    send(*synth, {0x90, 0x48, 0x64, 0xFD});
    synthRender(*synth, pair, 0, nullptr, 0);
    EXPECT_EQ(synth->frameLeft, 0);
    synthRender(*synth, pair, 1, nullptr, 0);
    EXPECT_EQ(synth->frameLeft, 127);
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

TEST(Render, FrameLengthFollowsTheRateWithinTheBuffers) {
    Scene scene;
    auto synth = makeSynth();
    const int32_t expected[][2] = {{48000, 140}, {200000, 280}, {0, 1}};
    for (const auto& [rate, length] : expected) {
        initSynth(*synth, scene.bank, rate);
        EXPECT_EQ(synth->rates.frameLength, length) << rate;
    }
    // 48,000 Hz: frames of 140, all handed out in order.
    scene.start(*synth, 48000);
    Scene::commandsAt(*synth, 0);
    std::vector<float> out(2 * 141);
    synthRender(*synth, out.data(), 141, nullptr, 0);
    EXPECT_EQ(synth->frameLeft, 139);
    EXPECT_EQ(out[280], synth->mainMix[0]);
    // Above 96,468 Hz the frame would outgrow the buffers; it stays at 280.
    scene.start(*synth, 192000);
    Scene::commandsAt(*synth, 0);
    std::vector<float> big(2 * 1000);
    synthRender(*synth, big.data(), 1000, nullptr, 0);
    EXPECT_EQ(synth->frameLeft, 120);
    synthInit(*synth, scene.bank.data(), static_cast<uint32_t>(scene.bank.size()), 44100);
}

TEST(Render, ReleasedVoicesAreFreedAtTheFrameStartAfterTheirEnvelope) {
    PatchRecord quick = heldPatch();
    quick.voice[eg1Release] = 0;  // gone within a few frames
    const std::vector<uint8_t> bank = buildPatchBank({quick});
    auto synth = makeSynth();
    initSynth(*synth, bank);
    send(*synth, {0x90, 0x3C, 0x64, 0x40, 0x64, 0xFD});
    std::vector<float> out(2 * 128);
    synthRender(*synth, out.data(), 128, nullptr, 0);
    EXPECT_EQ(voicesOn(*synth, 0), 2);
    send(*synth, {0x80, 0x3C, 0x00, 0xFD});
    for (int32_t k = 0; k < 200 && synth->voiceChannel[0] >= 0; ++k)
        synthRender(*synth, out.data(), 128, nullptr, 0);
    EXPECT_EQ(synth->voiceChannel[0], -1);
    EXPECT_EQ(synth->voices[0].env[0].state, 0);
    EXPECT_EQ(synth->voiceChannel[1], 0);  // still held
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
    const uint32_t frame = static_cast<uint32_t>(synth->rates.frameLength);
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

class OutputFilter : public ::testing::Test {
protected:
    void SetUp() override { synthInit(*synth, nullptr, 0, 44100); }
    void globals(uint8_t lowCut, uint8_t highCut) {
        std::vector<uint8_t> g = openGlobals();
        g[globalLowCut] = lowCut;
        g[globalHighCut] = highCut;
        synthSetGlobals(*synth, g.data());
    }
    std::vector<float> run(const std::vector<float>& input) {
        std::vector<float> buffer = input;
        outputFilterProcess(*synth, buffer.data(), static_cast<int32_t>(buffer.size() / 2));
        return buffer;
    }
    std::unique_ptr<Synth> synth = makeSynth();
};

TEST_F(OutputFilter, PassesNothingBeforeTheGlobals) {
    EXPECT_EQ(synth->lowCutCoef, 0.0f);
    EXPECT_EQ(synth->highCutCoef, 0.0f);
    for (float s : run(std::vector<float>(64, 0.75f))) EXPECT_EQ(s, 0.0f);
}

TEST_F(OutputFilter, FullCutsTurnAConstantIntoZeroFromItsSecondSample) {
    globals(127, 127);
    const std::vector<float> out = run(std::vector<float>(2 * 50, 0.6f));
    EXPECT_EQ(out[0], 0.6f);
    EXPECT_EQ(out[1], 0.6f);
    for (size_t i = 2; i < out.size(); ++i) EXPECT_EQ(out[i], 0.0f) << i;
}

TEST_F(OutputFilter, HighCut127IsAnExactBypass) {
    globals(0, 127);
    EXPECT_EQ(synth->lowCutCoef, 1.0f / 16384.0f);  // only a very slow DC removal
    globals(40, 127);
    std::vector<float> input(2 * 200);
    for (size_t i = 0; i < input.size(); ++i) input[i] = std::sin(0.37f * static_cast<float>(i)) + 0.3f;
    const std::vector<float> out = run(input);
    // The low cut alone: d = x - s; s += c d, per side.
    const float c = (41.0f / 128.0f) * (41.0f / 128.0f);
    float state[2] = {0, 0};
    for (size_t i = 0; i < input.size(); ++i) {
        float& s = state[i & 1];
        const float d = input[i] - s;
        s = s + c * d;
        ASSERT_EQ(out[i], d) << i;
    }
    EXPECT_EQ(synth->highCutStateL, 0.0f);
    EXPECT_EQ(synth->highCutStateR, 0.0f);
}

TEST_F(OutputFilter, HighCutLowPassesTheFirstDifferenceWithSeparateSides) {
    globals(127, 63);  // first difference, then a one-pole low-pass of 1/4
    std::vector<float> input(2 * 4, 0.0f);
    for (int32_t i = 0; i < 4; ++i) input[2 * i] = 1.0f;  // left constant, right silent
    const std::vector<float> out = run(input);
    EXPECT_EQ(out[0], 0.25f);
    EXPECT_EQ(out[2], 0.1875f);
    EXPECT_EQ(out[4], 0.140625f);
    EXPECT_EQ(out[6], 0.10546875f);
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(out[2 * i + 1], 0.0f);
    // The states carry over into the next block.
    const std::vector<float> more = run({1.0f, 0.0f});
    EXPECT_EQ(more[0], 0.10546875f * 0.75f);
}

}  // namespace
