#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <vector>
#include "signal_probe.h"
#include "synth/seed.h"
#include "synth/voice/math.h"
#include "synth/voice/voice.h"

namespace {

constexpr int32_t frame = 128;

// A plain patch: one rising saw, filters bypassed, instant envelope at full level.
struct Patch {
    float p[59];
    Patch() {
        std::fill(std::begin(p), std::end(p), 0.0f);
        p[0] = 64;                                    // pan
        p[1] = 64;                                    // voice transpose
        const float osc1[6] = {1, 0, 64, 64, 127, 128};
        std::copy(osc1, osc1 + 6, p + 2);
        p[10] = p[16] = 64;                           // osc 2/3 transpose
        p[11] = p[17] = 64;                           // osc 2/3 detune
        p[27] = 64;                                   // filter balance
        p[29] = 32;                                   // distortion input gain 1
        const float env[6] = {0, 0, 128, 64, 0, 128};
        std::copy(env, env + 6, p + 32);
        std::copy(env, env + 6, p + 38);
        p[58] = 1;                                    // key sync
    }
};

class VoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        rateConstantsInit(44100);
        seedSourceSetFixed(seeds, 7);
    }

    SynthVoice start(const Patch& patch, int32_t note) {
        SynthVoice v{};
        voiceReset(v, seeds);
        voiceSetup(v, patch.p);
        voiceNoteOn(v, note, 100);
        return v;
    }

    // One frame as the core drives it: set-up, tick, render into a cleared channel buffer.
    void frameOf(SynthVoice& v, const Patch& patch, std::vector<float>& left,
                 std::vector<float>& right) {
        voiceSetup(v, patch.p);
        voiceTick(v);
        std::fill(std::begin(channel), std::end(channel), 0.0f);
        voiceRender(v, buffer, buffer2, channel, frame);
        for (int32_t i = 0; i < frame; ++i) {
            left.push_back(channel[2 * i]);
            right.push_back(channel[2 * i + 1]);
        }
    }

    std::vector<float> play(SynthVoice& v, const Patch& patch, int frames) {
        std::vector<float> left, right;
        for (int f = 0; f < frames; ++f) frameOf(v, patch, left, right);
        return left;
    }

    SeedSource seeds;
    float buffer[280];
    float buffer2[280];
    float channel[560];
};

TEST_F(VoiceTest, PlaysTheNoteAtItsPitchAndLevel) {
    Patch patch;
    SynthVoice v = start(patch, 69);
    const std::vector<float> left = play(v, patch, 345);  // one second
    EXPECT_NEAR(probe::crossingFrequency(left), 220.0, 0.01);
    // A saw of peak 1 through the centre pan: RMS sqrt(1/3) x sqrt(1/2).
    EXPECT_NEAR(probe::rms(left, 128), std::sqrt(1.0 / 6.0), 0.01);

    // Voice transpose +12 and oscillator transpose -7 give note 74.
    patch.p[1] = 76;
    patch.p[4] = 57;
    SynthVoice up = start(patch, 69);
    EXPECT_NEAR(probe::crossingFrequency(play(up, patch, 345)), 220.0 * std::pow(2.0, 5.0 / 12.0), 0.02);
}

TEST_F(VoiceTest, PanGainsAreEqualPower) {
    Patch patch;
    patch.p[0] = 0;
    SynthVoice hardLeft = start(patch, 60);
    EXPECT_EQ(hardLeft.gainLeft, 1.0f);
    EXPECT_EQ(hardLeft.gainRight, 0.0f);
    std::vector<float> left, right;
    for (int f = 0; f < 4; ++f) frameOf(hardLeft, patch, left, right);
    EXPECT_GT(probe::rms(left), 0.3);
    for (float r : right) ASSERT_EQ(r, 0.0f);

    patch.p[0] = 64;
    SynthVoice centre = start(patch, 60);
    EXPECT_EQ(centre.gainLeft, std::sqrt(0.5f));
    EXPECT_EQ(centre.gainRight, std::sqrt(0.5f));
    left.clear();
    right.clear();
    for (int f = 0; f < 4; ++f) frameOf(centre, patch, left, right);
    EXPECT_EQ(left, right);
}

TEST_F(VoiceTest, ParallelRoutingWeighsBothFilters) {
    Patch patch;
    const float lowPass[3] = {1, 50, 20}, highPass[3] = {3, 80, 20};
    std::copy(lowPass, lowPass + 3, patch.p + 20);
    std::copy(highPass, highPass + 3, patch.p + 23);
    patch.p[26] = 2;

    Patch onlyLow = patch, onlyHigh = patch;
    onlyLow.p[26] = 0;
    onlyHigh.p[26] = 0;
    std::copy(highPass, highPass + 3, onlyHigh.p + 20);

    SynthVoice both = start(patch, 57), low = start(onlyLow, 57), high = start(onlyHigh, 57);
    const std::vector<float> sum = play(both, patch, 20);
    const std::vector<float> a = play(low, onlyLow, 20);
    const std::vector<float> b = play(high, onlyHigh, 20);
    for (size_t i = 0; i < sum.size(); ++i) ASSERT_NEAR(sum[i], a[i] + b[i], 1e-5) << i;

    // Balance 0 is filter 1 alone; serial is filter 2 after filter 1.
    patch.p[27] = 0;
    SynthVoice balanced = start(patch, 57);
    EXPECT_EQ(play(balanced, patch, 20), a);
    patch.p[26] = 1;
    SynthVoice serial = start(patch, 57);
    const std::vector<float> s = play(serial, patch, 20);
    EXPECT_LT(probe::rms(s, 1280), 0.5 * std::min(probe::rms(a, 1280), probe::rms(b, 1280)));
}

TEST_F(VoiceTest, AmplitudeFollowsTheEnvelopeWithoutJumps) {
    // A pulse of colour 0 is a constant -g: the output shows the amplitude itself.
    Patch patch;
    patch.p[2] = 2;
    patch.p[6] = 0;
    patch.p[32] = 64;  // attack: 2 per frame
    patch.p[36] = 64;  // release
    patch.p[0] = 0;    // all on the left
    SynthVoice v = start(patch, 60);
    std::vector<float> amp;
    auto run = [&](int frames) {
        for (float s : play(v, patch, frames)) amp.push_back(-s);
    };
    run(30);
    // Each frame ramps to the envelope level / 128 (2 x 30 / 128 after 30
    // frames); its last sample is one step of 2 / 128 / 128 short of it.
    EXPECT_FLOAT_EQ(amp.back(), 60.0f / 128.0f - 2.0f / 16384.0f);
    voiceNoteOff(v);
    run(10);
    ASSERT_EQ(v.env[0].state, 4);
    const float releasing = amp.back();
    EXPECT_LT(releasing, 60.0f / 128.0f);
    voiceSetup(v, patch.p);
    voiceNoteOn(v, 60, 100);  // retrigger: the attack goes on from here
    run(10);
    EXPECT_EQ(v.env[0].state, 1);
    EXPECT_NEAR(amp.back(), releasing + 20.0f / 128.0f, 4e-4f);
    float largestStep = 0;
    for (size_t i = 1; i < amp.size(); ++i) largestStep = std::max(largestStep, std::fabs(amp[i] - amp[i - 1]));
    EXPECT_LT(largestStep, 2.0f / 128.0f / 128.0f * 1.01f);
}

TEST_F(VoiceTest, ReleaseZeroGoesIdleInTheTickAndAnIdleVoiceAddsSilence) {
    Patch patch;
    SynthVoice v = start(patch, 60);
    play(v, patch, 3);
    voiceNoteOff(v);
    voiceSetup(v, patch.p);
    voiceTick(v);
    EXPECT_EQ(v.env[0].state, 0);  // the core frees it before rendering

    SynthVoice quiet{};
    voiceReset(quiet, seeds);
    voiceSetup(quiet, patch.p);
    voiceTick(quiet);
    EXPECT_EQ(quiet.ampStep, 0.0f);
    std::fill(std::begin(channel), std::end(channel), 0.25f);
    voiceRender(quiet, buffer, buffer2, channel, frame);
    for (int32_t i = 0; i < 2 * frame; ++i) ASSERT_EQ(channel[i], 0.25f);
}

TEST_F(VoiceTest, FilterSweepAndVibratoAreMeasurable) {
    // Low-pass closing from cutoff 127 to 40: the third harmonic of 220 Hz falls.
    Patch patch;
    patch.p[20] = 1;
    patch.p[21] = 127;
    SynthVoice v = start(patch, 69);
    const std::vector<float> open = play(v, patch, 64);
    patch.p[21] = 40;
    const std::vector<float> closed = play(v, patch, 64);
    const std::vector<float> openTail(open.begin() + 4096, open.end());
    const std::vector<float> closedTail(closed.begin() + 4096, closed.end());
    EXPECT_GT(probe::toneAmplitude(openTail, 660.0), 8.0 * probe::toneAmplitude(closedTail, 660.0));

    // LFO 1 (sine, bipolar, amplitude 1) modulates the oscillator transpose by
    // plus or minus half a semitone, one frame late, as the modulation matrix does.
    Patch vib;
    const float lfo[7] = {3, 1, 0, 64, 0, 2, 1};
    std::copy(lfo, lfo + 7, vib.p + 44);
    SynthVoice w = start(vib, 69);
    std::vector<float> left, right;
    for (int f = 0; f < 690; ++f) {
        vib.p[4] = 64.0f + w.lfo[0].out;
        frameOf(w, vib, left, right);
    }
    double lowest = 1e9, highest = 0;
    for (size_t at = 0; at + 1024 <= left.size(); at += 512) {
        const double hz = probe::crossingFrequency(std::vector<float>(left.begin() + at, left.begin() + at + 1024));
        lowest = std::min(lowest, hz);
        highest = std::max(highest, hz);
    }
    EXPECT_NEAR(highest, 220.0 * std::pow(2.0, 0.5 / 12.0), 1.5);
    EXPECT_NEAR(lowest, 220.0 * std::pow(2.0, -0.5 / 12.0), 1.5);
}

TEST_F(VoiceTest, ExtremesRenderWithoutTrouble) {
    // The lowest reachable total note (-128) with every box-filtered mode.
    Patch patch;
    patch.p[1] = 0;
    patch.p[4] = 0;
    patch.p[8] = 2;
    patch.p[10] = 0;
    SynthVoice v = start(patch, 0);
    ASSERT_LT(v.osc[0].increment, 512u);
    v.osc[0].phase = 0xFFFFFF00u;
    v.osc[1].phase = 0x7FFFFF00u;
    const std::vector<float> low = play(v, patch, 8);
    EXPECT_TRUE(probe::allFinite(low.data(), low.size()));

    // An unstable filter blows up to inf and NaN; rendering goes on regardless.
    Patch wild;
    wild.p[20] = 5;
    wild.p[21] = 128;
    wild.p[22] = 128;
    wild.p[28] = 3;  // crusher after it
    wild.p[30] = 128;
    SynthVoice w = start(wild, 100);
    const std::vector<float> out = play(w, wild, 200);
    EXPECT_EQ(out.size(), 200u * frame);
}

}  // namespace
