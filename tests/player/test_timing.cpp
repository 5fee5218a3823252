// Tick distances to frames at 44,100 Hz: ticks x tempo x 441 / (ticks per beat x 10000).
#include <gtest/gtest.h>

#include "player/timing.h"

TEST(TicksToFrames, RemaindersCarryPast2To32TheProductHas64BitsAndSaturatesBelowTheEndMarker) {
    // 220,500,000 / 110,000 = 2004 remainder 60,000; 71,583 x 60,000 first exceeds 2^32.
    uint32_t remainder = 0;
    for (int step = 1; step < 71583; ++step) {
        ASSERT_EQ(ticksToFrames(1, defaultTempoScaled, 11 * 10000, remainder), 2004u) << step;
    }
    EXPECT_EQ(remainder, 71582u * 60000u);
    EXPECT_EQ(ticksToFrames(1, defaultTempoScaled, 11 * 10000, remainder), 2005u);
    EXPECT_EQ(remainder, uint32_t(71583ull * 60000ull - (1ull << 32)));

    remainder = 0;
    EXPECT_EQ(ticksToFrames(0, defaultTempoScaled, 96 * 10000, remainder), 0u);
    // 100,000 ticks at 4,000,000 x 441: the product needs more than 32 bits.
    EXPECT_EQ(ticksToFrames(100000, 4000000u * 441u, 96 * 10000, remainder), 183750000u);
    EXPECT_EQ(ticksToFrames(0xFFFFFFFEu, 9739154u * 441u, 10000, remainder), maxStepFrames);
    // a quotient of exactly 0xFFFFFFFE plus a carry stays at 0xFFFFFFFE
    remainder = 0xFFFFFFFFu;
    // 3,221,225,471 x 4 / 3 = 0xFFFFFFFE remainder 2
    EXPECT_EQ(ticksToFrames(3221225471u, 4u, 3u, remainder), maxStepFrames);
    EXPECT_EQ(remainder, 1u);
    remainder = 0xFFFFFFFFu;
    EXPECT_EQ(ticksToFrames(3, 3u, 2u, remainder), 5u);  // 9 / 2 = 4 remainder 1, which carries
}

#include "module_test_support.h"
#include "player/song_length.h"

TEST(SongLength, StepsFromTheFirstEventToTheLastDroppingEachStepsFraction) {
    // 11 ticks per beat at 500,000 us: 2004 frames and 60,000/110,000 of one per tick
    ModuleSource source = playableSource();
    source.timeDivision = 11;
    source.tempos = {{30, 500000}, {40, 1000000}};   // from tick 40 on, twice the period
    source.channels[2].notes = {{20, 60, 1}, {21, 60, 0}, {40, 61, 1}, {42, 61, 0}};
    std::vector<uint8_t> image = mustWrite(source);
    auto view = std::make_unique<ModuleView>();
    std::string reason;
    ASSERT_TRUE(parseModule(image.data(), uint32_t(image.size()), *view, reason)) << reason;
    SongLength length = measureSongLength(*view);
    EXPECT_EQ(length.firstTick, 20u);
    EXPECT_EQ(length.lastTick, 42u);
    // steps at 20, 21, 30, 40, 42: 1 tick (2004.5), 9 ticks (18,040.9) and 10 ticks
    // (20,045.5) at the default tempo, then 2 ticks at twice the period (8018.2),
    // each step truncated
    EXPECT_EQ(length.frames, 2004u + 18040u + 20045u + 8018u);
    EXPECT_EQ(length.steps, 5u);

    ModuleSource empty = playableSource();
    image = mustWrite(empty);
    ASSERT_TRUE(parseModule(image.data(), uint32_t(image.size()), *view, reason)) << reason;
    length = measureSongLength(*view);
    EXPECT_EQ(length.lastTick, 0u);
    EXPECT_EQ(length.frames, 0u);
}
