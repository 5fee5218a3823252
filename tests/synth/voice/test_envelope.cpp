#include <gtest/gtest.h>
#include <cmath>
#include "synth/voice/envelope.h"
#include "synth/voice/math.h"

namespace {

class EnvelopeTest : public ::testing::Test {
protected:
    void SetUp() override { rateConstantsInit(44100); }

    // attack, decay, sustain, sustain time, release, gain
    static Envelope make(float a, float d, float s, float st, float r, float g = 128) {
        Envelope env{};
        envInit(env);
        const float p[6] = {a, d, s, st, r, g};
        envSetup(env, p);
        return env;
    }

    // Ticks with the gate on until the state changes; returns the count.
    static int ticksUntilLeaving(Envelope& env, int state, int gate = 1) {
        int ticks = 0;
        while (env.state == state && ticks < 100000) {
            envTick(env, gate);
            ++ticks;
        }
        return ticks;
    }
};

TEST_F(EnvelopeTest, AttackDecayAndSustainTimes) {
    Envelope instant = make(0, 0, 40, 64, 64, 64);
    envTick(instant, 1);
    EXPECT_EQ(instant.level, 128.0f);  // attack 0: full level in the first tick
    EXPECT_EQ(instant.out, 64.0f);
    envTick(instant, 1);
    EXPECT_EQ(instant.level, 40.0f);   // decay 0: straight to sustain
    EXPECT_EQ(instant.state, 3);

    Envelope slow = make(64, 64, 64, 64, 64);
    envTick(slow, 1);
    EXPECT_EQ(ticksUntilLeaving(slow, 1), 63);  // attack 64: 64 frames of 2
    EXPECT_EQ(slow.level, 128.0f);

    // Sustain time 127 grows by 2^(63 x 0.0019375) per frame and clamps at 128.
    Envelope growing = make(0, 0, 100, 127, 64);
    for (int i = 0; i < 4; ++i) envTick(growing, 1);
    EXPECT_NEAR(growing.level, 100.0 * std::pow(2.0, 2 * 63 * 0.0019375), 1e-3);
    envTick(growing, 1);
    EXPECT_EQ(growing.level, 128.0f);
    EXPECT_EQ(growing.state, 3);

    // Sustain time 0 fades 2^-0.124 per frame and ends idle with the key held.
    Envelope fading = make(0, 0, 100, 0, 64);
    envTick(fading, 1);
    envTick(fading, 1);
    EXPECT_NEAR(ticksUntilLeaving(fading, 3), std::log2(100.0 * 8192.0) / 0.124, 1.0);
    EXPECT_EQ(fading.level, 0.0f);
}

TEST_F(EnvelopeTest, SustainLevelZeroEndsTheDecayAtZero) {
    Envelope env = make(0, 64, 0, 64, 64);
    envTick(env, 1);
    // 128 decays below 2^-126 (then counts as 0); the next sustain tick goes idle.
    const double decayTicks = std::ceil(133.0 / -std::log2(1.0 - std::pow(2.0, -5.5)));
    EXPECT_NEAR(ticksUntilLeaving(env, 2), decayTicks, 2.0);
    EXPECT_EQ(env.level, 0.0f);
    envTick(env, 1);
    EXPECT_EQ(env.state, 0);
}

TEST_F(EnvelopeTest, ReleaseAndRetrigger) {
    Envelope quick = make(0, 64, 64, 64, 0);
    envTick(quick, 1);
    envTick(quick, 0);
    EXPECT_EQ(quick.state, 0);  // release 0 ends in one tick
    EXPECT_EQ(quick.out, 0.0f);

    Envelope env = make(64, 64, 64, 64, 64);
    for (int i = 0; i < 10; ++i) envTick(env, 1);
    envTick(env, 0);  // gate off in attack: release step in the same tick
    EXPECT_EQ(env.state, 4);
    EXPECT_NEAR(env.level, 20.0 * (1.0 - std::pow(2.0, -5.5)), 1e-4);
    const float released = env.level;
    envTick(env, 1);  // gate on in release: attack from the current level
    EXPECT_EQ(env.state, 1);
    EXPECT_EQ(env.level, released + 2.0f);
    ticksUntilLeaving(env, 1);
    EXPECT_EQ(env.state, 2);
    envTick(env, 0);
    EXPECT_GT(ticksUntilLeaving(env, 4, 0), 100);  // down to 2^-13, then idle
    EXPECT_EQ(env.state, 0);
}

}  // namespace
