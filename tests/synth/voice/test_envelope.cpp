#include <gtest/gtest.h>
#include <cmath>
#include "synth/voice/envelope.h"
#include "synth/voice/math.h"

namespace {

struct EnvParams {
    float attack = 0, decay = 64, sustain = 64, sustainTime = 64, release = 64, gain = 128;
};

class EnvelopeTest : public ::testing::Test {
protected:
    void SetUp() override { rateConstantsInit(44100); }

    static Envelope make(const EnvParams& q) {
        Envelope env{};
        envInit(env);
        const float p[6] = {q.attack, q.decay, q.sustain, q.sustainTime, q.release, q.gain};
        envSetup(env, p);
        return env;
    }
};

TEST_F(EnvelopeTest, AttackZeroReachesFullLevelInTheFirstTick) {
    EnvParams q;
    q.gain = 64;
    Envelope env = make(q);
    envTick(env, 1);
    EXPECT_EQ(env.level, 128.0f);
    EXPECT_EQ(env.state, 2);
    EXPECT_EQ(env.out, 64.0f);  // level x amplify
    envTick(env, 1);
    EXPECT_LT(env.level, 128.0f);  // the decay starts on the next tick
    EXPECT_GT(env.level, 64.0f);
}

TEST_F(EnvelopeTest, AttackSixtyFourTakesSixtyFourFrames) {
    EnvParams q;
    q.attack = 64;  // 2 per frame
    Envelope env = make(q);
    for (int frame = 1; frame < 64; ++frame) {
        envTick(env, 1);
        ASSERT_EQ(env.state, 1) << frame;
        ASSERT_EQ(env.level, 2.0f * frame);
    }
    envTick(env, 1);
    EXPECT_EQ(env.level, 128.0f);
    EXPECT_EQ(env.state, 2);
}

TEST_F(EnvelopeTest, DecayZeroDropsToSustainAtOnce) {
    EnvParams q;
    q.decay = 0;
    q.sustain = 40;
    Envelope env = make(q);
    envTick(env, 1);
    envTick(env, 1);
    EXPECT_EQ(env.level, 40.0f);
    EXPECT_EQ(env.state, 3);
    envTick(env, 1);  // sustain time 64 holds the level
    EXPECT_EQ(env.level, 40.0f);
}

TEST_F(EnvelopeTest, SustainTimeAboveSixtyFourGrowsAndClamps) {
    EnvParams q;
    q.decay = 0;
    q.sustain = 100;
    q.sustainTime = 127;
    Envelope env = make(q);
    envTick(env, 1);
    envTick(env, 1);
    ASSERT_EQ(env.state, 3);
    float last = env.level;
    int frames = 0;
    while (env.level < 128.0f && frames < 1000) {
        envTick(env, 1);
        ASSERT_GT(env.level, last);
        last = env.level;
        ++frames;
    }
    // The factor is 2^(63 x 0.0019375) = 1.0882 per frame: 100 -> 128 in 3 frames.
    EXPECT_EQ(frames, 3);
    envTick(env, 1);
    EXPECT_EQ(env.level, 128.0f);
    EXPECT_EQ(env.state, 3);

    // Below 64 the sustain fades, and ends in idle while the key is held.
    q.sustainTime = 0;
    Envelope fading = make(q);
    int ticks = 0;
    do {
        envTick(fading, 1);
        ++ticks;
    } while (fading.state != 0 && ticks < 100000);
    EXPECT_EQ(fading.state, 0);
    EXPECT_EQ(fading.level, 0.0f);
    // 2^-0.124 per frame from 100 down to 2^-13: 19.64 / 0.124 frames, plus the attack and decay.
    EXPECT_NEAR(ticks, 2 + 19.644 / 0.124, 1.0);
}

TEST_F(EnvelopeTest, SustainLevelZeroEndsTheDecayAtZero) {
    EnvParams q;
    q.sustain = 0;
    q.decay = 64;
    Envelope env = make(q);
    int ticks = 0;
    do {
        envTick(env, 1);
        ++ticks;
    } while (env.state != 0 && ticks < 100000);
    EXPECT_EQ(env.state, 0);
    // Decay from 128 to below 2^-126, then one sustain tick finds 0 and goes idle.
    const double perTick = -std::log2(1.0 - std::pow(2.0, -5.5));
    EXPECT_NEAR(ticks, 1 + std::ceil(133.0 / perTick) + 1, 2.0);
}

TEST_F(EnvelopeTest, ReleaseZeroEndsInOneTick) {
    EnvParams q;
    q.release = 0;
    Envelope env = make(q);
    envTick(env, 1);
    envTick(env, 0);
    EXPECT_EQ(env.state, 0);
    EXPECT_EQ(env.level, 0.0f);
    EXPECT_EQ(env.out, 0.0f);
}

TEST_F(EnvelopeTest, ReleaseDecaysAndRetriggerStartsFromTheCurrentLevel) {
    EnvParams q;
    q.attack = 64;
    q.release = 64;  // factor 1 - 2^-5.5
    Envelope env = make(q);
    for (int i = 0; i < 10; ++i) envTick(env, 1);
    ASSERT_EQ(env.level, 20.0f);
    envTick(env, 0);  // gate off in attack: release step in the same tick
    EXPECT_EQ(env.state, 4);
    EXPECT_NEAR(env.level, 20.0 * (1.0 - std::pow(2.0, -5.5)), 1e-4);
    const float released = env.level;
    envTick(env, 1);  // gate on in release: attack from here, same tick
    EXPECT_EQ(env.state, 1);
    EXPECT_EQ(env.level, released + 2.0f);

    // A long release reaches 2^-13 and goes idle.
    int ticks = 0;
    while (env.state != 0 && ticks < 100000) {
        envTick(env, 0);
        ++ticks;
    }
    EXPECT_EQ(env.state, 0);
    EXPECT_GT(ticks, 100);
    envTick(env, 0);
    EXPECT_EQ(env.level, 0.0f);
    envTick(env, 1);  // idle with gate on starts the attack now
    EXPECT_EQ(env.state, 1);
    EXPECT_EQ(env.level, 2.0f);
}

}  // namespace
