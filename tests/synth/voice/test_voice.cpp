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

    // Frames as the core drives them: set-up, tick, render; returns the left side.
    std::vector<float> play(SynthVoice& v, const Patch& patch, int frames) {
        std::vector<float> left;
        right.clear();
        for (int f = 0; f < frames; ++f) {
            voiceSetup(v, patch.p);
            voiceTick(v);
            std::fill(std::begin(channel), std::end(channel), 0.0f);
            voiceRender(v, buffer, buffer2, channel, 128);
            for (int i = 0; i < 128; ++i) {
                left.push_back(channel[2 * i]);
                right.push_back(channel[2 * i + 1]);
            }
        }
        return left;
    }

    SeedSource seeds;
    float buffer[280], buffer2[280], channel[560];
    std::vector<float> right;
};

TEST_F(VoiceTest, PlaysTheNoteAtItsPitchLevelAndPan) {
    Patch patch;
    SynthVoice v = start(patch, 69);
    const std::vector<float> left = play(v, patch, 345);  // one second
    EXPECT_NEAR(probe::crossingFrequency(left), 220.0, 0.01);
    EXPECT_NEAR(probe::rms(left, 128), std::sqrt(1.0 / 6.0), 0.01);  // saw sqrt(1/3), pan sqrt(1/2)
    EXPECT_EQ(left, right);
    patch.p[0] = 0;
    patch.p[1] = 76;  // +12, and oscillator transpose -7: note 74
    patch.p[4] = 57;
    SynthVoice hardLeft = start(patch, 69);
    EXPECT_NEAR(probe::crossingFrequency(play(hardLeft, patch, 345)), 220.0 * std::pow(2.0, 5.0 / 12.0), 0.02);
    EXPECT_TRUE(std::all_of(right.begin(), right.end(), [](float s) { return s == 0.0f; }));
}

TEST_F(VoiceTest, FilterRoutings) {
    Patch both, low, high;
    const float lowPass[3] = {1, 50, 20}, highPass[3] = {3, 80, 20};
    std::copy(lowPass, lowPass + 3, both.p + 20);
    std::copy(highPass, highPass + 3, both.p + 23);
    std::copy(lowPass, lowPass + 3, low.p + 20);
    std::copy(highPass, highPass + 3, high.p + 20);
    both.p[26] = 2;
    SynthVoice vb = start(both, 57), vl = start(low, 57), vh = start(high, 57);
    const std::vector<float> sum = play(vb, both, 20), a = play(vl, low, 20), b = play(vh, high, 20);
    for (size_t i = 0; i < sum.size(); ++i) ASSERT_NEAR(sum[i], a[i] + b[i], 1e-5) << i;  // balance 64
    both.p[27] = 0;
    SynthVoice balance0 = start(both, 57);
    EXPECT_EQ(play(balance0, both, 20), a);
    both.p[26] = 1;  // serial: only the band between the corners is left
    SynthVoice serial = start(both, 57);
    EXPECT_LT(probe::rms(play(serial, both, 20), 1280), 0.5 * std::min(probe::rms(a, 1280), probe::rms(b, 1280)));
}

TEST_F(VoiceTest, AmplitudeRampsWithoutJumpsThroughARetrigger) {
    Patch patch;  // a pulse of colour 0 is a constant -1: the output is the amplitude
    patch.p[2] = 2;
    patch.p[6] = 0;
    patch.p[32] = patch.p[36] = 64;
    SynthVoice v = start(patch, 60);
    std::vector<float> amp;
    auto run = [&](int frames) { for (float s : play(v, patch, frames)) amp.push_back(-s / std::sqrt(0.5f)); };
    run(30);
    EXPECT_NEAR(amp.back(), 60.0f / 128.0f - 2.0f / 16384.0f, 1e-6f);  // one step short of 2 x 30 / 128
    voiceNoteOff(v);
    run(10);
    const float releasing = amp.back();
    voiceSetup(v, patch.p);
    voiceNoteOn(v, 60, 100);
    run(10);
    EXPECT_NEAR(amp.back(), releasing + 20.0f / 128.0f, 4e-4f);
    for (size_t i = 1; i < amp.size(); ++i) ASSERT_LT(std::fabs(amp[i] - amp[i - 1]), 1.3e-4f) << i;
}

TEST_F(VoiceTest, IdleVoices) {
    Patch patch;
    SynthVoice v = start(patch, 60);
    play(v, patch, 3);
    voiceNoteOff(v);
    voiceSetup(v, patch.p);
    voiceTick(v);
    EXPECT_EQ(v.env[0].state, 0);  // release 0: idle in this tick, freed before rendering
    SynthVoice quiet{};
    voiceReset(quiet, seeds);
    voiceSetup(quiet, patch.p);
    voiceTick(quiet);
    std::fill(std::begin(channel), std::end(channel), 0.25f);
    voiceRender(quiet, buffer, buffer2, channel, 128);
    EXPECT_TRUE(std::all_of(std::begin(channel), std::end(channel), [](float s) { return s == 0.25f; }));
}

TEST_F(VoiceTest, FilterSweepAndVibratoAreMeasurable) {
    Patch patch;
    patch.p[20] = 1;
    patch.p[21] = 127;
    SynthVoice v = start(patch, 69);
    const std::vector<float> open = play(v, patch, 64);
    patch.p[21] = 40;
    const std::vector<float> closed = play(v, patch, 64);
    EXPECT_GT(probe::toneAmplitude({open.begin() + 4096, open.end()}, 660.0),
              8.0 * probe::toneAmplitude({closed.begin() + 4096, closed.end()}, 660.0));
    // LFO 1 (sine, bipolar, amplitude 1) on the oscillator transpose, one frame
    // late as the modulation matrix applies it: plus or minus half a semitone.
    Patch vib;
    const float lfo[7] = {3, 1, 0, 64, 0, 2, 1};
    std::copy(lfo, lfo + 7, vib.p + 44);
    SynthVoice w = start(vib, 69);
    std::vector<float> left;
    for (int f = 0; f < 690; ++f) {
        vib.p[4] = 64.0f + w.lfo[0].out;
        for (float s : play(w, vib, 1)) left.push_back(s);
    }
    double lowest = 1e9, highest = 0;
    for (size_t at = 0; at + 1024 <= left.size(); at += 512) {
        const double hz = probe::crossingFrequency({left.begin() + at, left.begin() + at + 1024});
        lowest = std::min(lowest, hz);
        highest = std::max(highest, hz);
    }
    EXPECT_NEAR(highest, 220.0 * std::pow(2.0, 0.5 / 12.0), 1.5);
    EXPECT_NEAR(lowest, 220.0 * std::pow(2.0, -0.5 / 12.0), 1.5);
}

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
    EXPECT_EQ(play(w, wild, 200).size(), 200u * 128u);
}

}  // namespace
