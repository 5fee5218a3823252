#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <vector>
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

TEST(Render, FrameLengthFollowsTheRateWithinTheBuffers) {
    Scene scene;
    auto synth = makeSynth();
    const int32_t expected[][2] = {{200000, 280}, {0, 1}};  // clamped; unclamped: test_math
    for (const auto& [rate, length] : expected) {
        initSynth(*synth, scene.bank, rate);
        EXPECT_EQ(synth->rates.frameLength, length) << rate;
    }
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

}  // namespace
