#include <gtest/gtest.h>
#include <vector>
#include "synth/seed.h"
#include "synth/voice/lfo.h"
#include "synth/voice/math.h"

namespace {

constexpr float nearlyOne = 1.0f - 1.0f / 8388608.0f;

class LfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        seedSourceSetFixed(seeds, 99);
    }

    // mode, key sync, env mode, rate, phase, polarity, amplitude; then a note on.
    Lfo make(std::vector<float> p) {
        Lfo lfo{};
        lfoInit(lfo, seeds);
        lfoSetup(lfo, p.data());
        lfoNoteOn(lfo);
        return lfo;
    }

    SeedSource seeds;
};

TEST_F(LfoTest, WaveformsInParameterUnits) {
    Lfo saw = make({0, 1, 0, 0, 0, 0, 128});
    for (int i = 0; i < 100; ++i) {
        lfoTick(saw);
        ASSERT_EQ(saw.out, 128.0f * i / 4096.0f);  // rate 0: 2^-12 of the range per frame
    }
    Lfo square = make({2, 1, 0, 128, 0, 0, 100});  // a quarter cycle per frame
    for (float expected : {0.0f, 0.0f, 100 * nearlyOne, 100 * nearlyOne, 0.0f}) {
        lfoTick(square);
        EXPECT_EQ(square.out, expected);
    }
    Lfo bipolar = make({0, 1, 0, 128, 0, 2, 100});
    for (float expected : {-50.0f, -25.0f, 0.0f, 25.0f, -50.0f}) {
        lfoTick(bipolar);
        EXPECT_EQ(bipolar.out, expected);
    }
    Lfo triangle = make({1, 1, 0, 0, 32, 1, 64});  // negative, from a quarter cycle
    lfoTick(triangle);
    EXPECT_EQ(triangle.out, -32.0f);
    for (float mode : {5.0f, 6.0f, 7.0f}) {
        Lfo none = make({mode, 1, 0, 90, 0, 2, 100});
        lfoTick(none);
        EXPECT_EQ(none.out, 0.0f) << mode;
    }
}

TEST_F(LfoTest, OneShotHoldsTheEndUntilTheNextNote) {
    Lfo lfo = make({0, 1, 1, 128, 0, 0, 80});
    for (int i = 0; i < 4; ++i) lfoTick(lfo);
    for (int i = 0; i < 20; ++i) {
        lfoTick(lfo);
        ASSERT_EQ(lfo.out, 80.0f * nearlyOne);
    }
    lfoNoteOn(lfo);
    lfoTick(lfo);
    EXPECT_EQ(lfo.out, 0.0f);
}

TEST_F(LfoTest, SampleAndHoldChangesOnlyAfterWraps) {
    Lfo lfo = make({4, 1, 0, 128, 0, 0, 128});  // wraps every fourth frame
    const uint32_t next = lfo.randSeed * 0x0BB38435u + 0x3619636Bu;
    lfoTick(lfo);  // a key-synchronised note on draws at once
    EXPECT_EQ(lfo.out, float(next >> 9) / 65536.0f);
    float held = lfo.out;
    int changes = 0;
    for (int i = 1; i <= 40; ++i) {
        lfoTick(lfo);
        if (lfo.out != held) {
            EXPECT_EQ(i % 4, 0) << i;
            held = lfo.out;
            ++changes;
        }
    }
    EXPECT_EQ(changes, 10);
    Lfo free = make({4, 0, 0, 128, 0, 0, 128});  // without key sync: first at the wrap
    const float initial = frac(free.randSeed) * 128.0f;
    for (int i = 0; i < 4; ++i) lfoTick(free);
    EXPECT_EQ(free.out, initial);
    lfoTick(free);
    EXPECT_NE(free.out, initial);
}

}  // namespace
