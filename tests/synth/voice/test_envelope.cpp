#include <gtest/gtest.h>
#include <cmath>
#include "synth/voice/envelope.h"
#include "synth/voice/math.h"

namespace {

class EnvelopeTest : public ::testing::Test {
protected:
    void SetUp() override { rateConstantsInit(44100); }

    // attack, decay, sustain, sustain time, release; gain 128.
    static Envelope make(float a, float d, float s, float st, float r) {
        Envelope env{};
        envInit(env);
        const float p[6] = {a, d, s, st, r, 128};
        envSetup(env, p);
        return env;
    }

    static int ticksIn(Envelope& env, int state, int gate) {
        int ticks = 0;
        for (; env.state == state && ticks < 100000; ++ticks) envTick(env, gate);
        return ticks;
    }
};

TEST_F(EnvelopeTest, StageTimes) {
    Envelope instant = make(0, 0, 40, 64, 0);
    envTick(instant, 1);
    EXPECT_EQ(instant.level, 128.0f);  // attack 0: full level in the first tick
    envTick(instant, 1);
    EXPECT_EQ(instant.level, 40.0f);   // decay 0: straight to sustain
    envTick(instant, 0);
    EXPECT_EQ(instant.state, 0);       // release 0: idle in one tick

    Envelope slow = make(64, 64, 64, 64, 64);
    envTick(slow, 1);
    EXPECT_EQ(ticksIn(slow, 1, 1), 63);  // attack 64: 64 frames of 2

    Envelope growing = make(0, 0, 100, 127, 64);  // x 2^(63 x 0.0019375) per frame
    for (int i = 0; i < 4; ++i) envTick(growing, 1);
    EXPECT_NEAR(growing.level, 100.0 * std::pow(2.0, 2 * 63 * 0.0019375), 1e-3);
    envTick(growing, 1);
    EXPECT_EQ(growing.level, 128.0f);

    Envelope zero = make(0, 64, 0, 64, 64);  // decays below 2^-126, which counts as 0
    envTick(zero, 1);
    EXPECT_NEAR(ticksIn(zero, 2, 1), std::ceil(133.0 / -std::log2(1.0 - std::pow(2.0, -5.5))), 2.0);
    envTick(zero, 1);
    EXPECT_EQ(zero.state, 0);
}

}  // namespace
