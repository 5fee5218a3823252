#include <gtest/gtest.h>
#include <cmath>
#include "synth/seed.h"
#include "synth/voice/lfo.h"
#include "synth/voice/math.h"

namespace {

struct LfoParams {
    float mode = 0, keySync = 1, envMode = 0, rate = 0, phase = 0, polarity = 0, amplitude = 128;
};

class LfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        rateConstantsInit(44100);
        seedSourceSetFixed(seeds, 99);
    }

    Lfo make(const LfoParams& q) {
        Lfo lfo{};
        lfoInit(lfo, seeds);
        const float p[7] = {q.mode, q.keySync, q.envMode, q.rate, q.phase, q.polarity, q.amplitude};
        lfoSetup(lfo, p);
        lfoNoteOn(lfo);
        return lfo;
    }

    SeedSource seeds;
};

TEST_F(LfoTest, RateZeroSawRisesByOne4096thPerFrame) {
    Lfo lfo = make(LfoParams{});
    EXPECT_EQ(lfo.increment, 1u << 20);
    for (int i = 0; i < 100; ++i) {
        lfoTick(lfo);
        ASSERT_EQ(lfo.out, 128.0f * i / 4096.0f);
    }
    // Rate 64 is about 2.69 Hz at 344.53125 frames per second.
    LfoParams q;
    q.rate = 64;
    EXPECT_NEAR(make(q).increment / 4294967296.0 * 344.53125, 2.69, 0.01);
}

TEST_F(LfoTest, SquareHighHalfIsJustBelowTheScale) {
    LfoParams q;
    q.mode = 2;
    q.rate = 128;  // a quarter cycle per frame
    q.amplitude = 100;
    Lfo lfo = make(q);
    const float expected[4] = {0.0f, 0.0f, 100.0f * (1.0f - 1.0f / 8388608.0f),
                               100.0f * (1.0f - 1.0f / 8388608.0f)};
    for (int i = 0; i < 8; ++i) {
        lfoTick(lfo);
        EXPECT_EQ(lfo.out, expected[i % 4]) << i;
    }
    EXPECT_LT(expected[2], 100.0f);
}

TEST_F(LfoTest, PolarityPutsTheOutputInRange) {
    LfoParams q;
    q.polarity = 2;
    q.amplitude = 100;
    q.rate = 100;
    Lfo bipolar = make(q);
    lfoTick(bipolar);
    EXPECT_EQ(bipolar.out, -50.0f);  // saw at phase 0
    float lo = 1e9f, hi = -1e9f;
    for (int i = 0; i < 2000; ++i) {
        lfoTick(bipolar);
        lo = std::min(lo, bipolar.out);
        hi = std::max(hi, bipolar.out);
    }
    EXPECT_GE(lo, -50.0f);
    EXPECT_LT(lo, -49.0f);
    EXPECT_NEAR(hi, 50.0f, 0.1f);

    q.polarity = 1;
    q.mode = 3;  // sine, 0.5 at phase 0
    Lfo negative = make(q);
    lfoTick(negative);
    EXPECT_NEAR(negative.out, -50.0f, 1e-3f);
}

TEST_F(LfoTest, KeySyncStartsAtTheStartPhase) {
    LfoParams q;
    q.mode = 1;  // triangle: 0.5 at a quarter cycle
    q.phase = 32;
    q.amplitude = 64;
    Lfo lfo = make(q);
    lfoTick(lfo);
    EXPECT_EQ(lfo.out, 32.0f);
    q.phase = 128;  // wraps to 0
    EXPECT_EQ(make(q).startPhase, 0u);
}

TEST_F(LfoTest, OneShotSawHoldsItsEnd) {
    LfoParams q;
    q.envMode = 1;
    q.rate = 128;
    q.amplitude = 80;
    Lfo lfo = make(q);
    for (int i = 0; i < 4; ++i) lfoTick(lfo);
    EXPECT_EQ(lfo.phase, 0xFFFFFFFFu);
    for (int i = 0; i < 20; ++i) {
        lfoTick(lfo);
        ASSERT_EQ(lfo.out, 80.0f * (1.0f - 1.0f / 8388608.0f));
    }
    lfoNoteOn(lfo);  // a key-synchronised note restarts it
    lfoTick(lfo);
    EXPECT_EQ(lfo.out, 0.0f);
}

TEST_F(LfoTest, SampleAndHoldChangesOnlyAfterWraps) {
    LfoParams q;
    q.mode = 4;
    q.rate = 128;  // wraps every fourth frame
    Lfo lfo = make(q);
    uint32_t seed = lfo.randSeed;
    lfoTick(lfo);  // the note on asks for a new value at once
    seed = seed * 0x0BB38435u + 0x3619636Bu;
    EXPECT_EQ(lfo.out, static_cast<float>(seed >> 9) / 8388608.0f * 128.0f);
    float held = lfo.out;
    int changes = 0;
    for (int i = 1; i <= 40; ++i) {
        lfoTick(lfo);
        if (lfo.out != held) {
            ++changes;
            EXPECT_EQ(i % 4, 0) << i;
            held = lfo.out;
        }
    }
    EXPECT_EQ(changes, 10);

    // Without key sync the first new value comes at the first wrap.
    q.keySync = 0;
    Lfo free = make(q);
    const float initial = frac(free.randSeed) * 128.0f;
    for (int i = 0; i < 4; ++i) {
        lfoTick(free);
        EXPECT_EQ(free.out, initial) << i;
    }
    lfoTick(free);
    EXPECT_NE(free.out, initial);
}

TEST_F(LfoTest, SelectorsFiveToSevenOutputZero) {
    for (float mode : {5.0f, 6.0f, 7.0f}) {
        LfoParams q;
        q.mode = mode;
        q.polarity = 2;
        q.rate = 90;
        Lfo lfo = make(q);
        const uint32_t start = lfo.phase;
        for (int i = 0; i < 50; ++i) {
            lfoTick(lfo);
            ASSERT_EQ(lfo.out, 0.0f);
        }
        EXPECT_NE(lfo.phase, start);  // the phase still runs
    }
    LfoParams q;
    q.mode = 8;  // wraps to the saw
    q.amplitude = 64;
    q.phase = 64;
    Lfo lfo = make(q);
    lfoTick(lfo);
    EXPECT_EQ(lfo.out, 32.0f);
}

}  // namespace
