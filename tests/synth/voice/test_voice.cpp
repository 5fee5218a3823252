#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <vector>
#include "tests/support/signal_probe.h"
#include "synth/seed.h"
#include "synth/voice/math.h"
#include "synth/voice/voice.h"

namespace {

// A plain patch: one rising saw, filters bypassed, instant envelopes at full level.
struct Patch {
    float p[59] = {};
    Patch() {
        const float osc1[6] = {1, 0, 64, 64, 127, 128}, env[6] = {0, 0, 128, 64, 0, 128};
        std::copy(osc1, osc1 + 6, p + 2);
        std::copy(env, env + 6, p + 32);
        std::copy(env, env + 6, p + 38);
        p[0] = p[1] = p[10] = p[11] = p[16] = p[17] = p[27] = 64;
        p[29] = 32;  // distortion input gain 1
        p[58] = 1;   // key sync
    }
};

class VoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        seedSourceSetFixed(seeds, 99);
    }

    SynthVoice start(const Patch& patch, int32_t note) {
        SynthVoice v{};
        voiceReset(v, seeds);
        voiceSetup(v, patch.p);
        voiceNoteOn(v, note, 100);
        return v;
    }

    // Frames as the core drives them: set-up, tick, render; both sides.
    std::vector<float> play(SynthVoice& v, const Patch& patch, int frames) {
        std::vector<float> out;
        for (int f = 0; f < frames; ++f) {
            voiceSetup(v, patch.p);
            voiceTick(v);
            std::fill(std::begin(channel), std::end(channel), 0.0f);
            voiceRender(v, buffer, buffer2, channel, 128);
            out.insert(out.end(), channel, channel + 256);
        }
        return out;
    }

    SeedSource seeds;
    float buffer[280], buffer2[280], channel[560];
};

TEST_F(VoiceTest, ExtremesRenderWithoutTrouble) {
    Patch patch;  // total note -128 on a saw and a pulse
    patch.p[1] = patch.p[4] = patch.p[10] = 0;
    patch.p[8] = 2;
    SynthVoice v = start(patch, 0);
    v.osc[0].phase = 0xFFFFFF00u;
    v.osc[1].phase = 0x7FFFFF00u;
    EXPECT_TRUE(probe::allFinite(play(v, patch, 8)));
    Patch wild;  // an unstable filter blows up; rendering goes on regardless
    wild.p[20] = 5;
    wild.p[21] = wild.p[22] = wild.p[30] = 128;
    wild.p[28] = 3;
    SynthVoice w = start(wild, 100);
    EXPECT_EQ(play(w, wild, 200).size(), 200u * 256u);
}

// A frame whose set-up inputs are those of the last one skips the unit's
// set-up; after any one parameter changes, the voice must render what a
// voice whose every set-up runs again renders.
TEST_F(VoiceTest, ChangedParameterRendersAsAFullSetUp) {
    Patch patch;
    patch.p[8] = 5;     // a second oscillator, FM on the first
    patch.p[13] = 100;
    patch.p[44] = 3;    // LFO 1 sine
    for (int32_t k = 0; k < 59; ++k) {
        for (const float value : {3.0f, 100.0f}) {
            Patch changed = patch;
            changed.p[k] = value;
            SynthVoice cached = start(patch, 60);
            play(cached, patch, 2);
            SynthVoice full = cached;
            full.setupInputs = {};
            EXPECT_EQ(play(cached, changed, 3), play(full, changed, 3)) << "parameter " << k << " = " << value;
        }
    }
}

}  // namespace
