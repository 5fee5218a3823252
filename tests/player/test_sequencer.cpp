// Sequencer steps: which commands a tick produces, in which order, and where
// the next step lies. Buffers are captured with no synthesizer attached.
#include <gtest/gtest.h>

#include "module_test_support.h"
#include "player/timing.h"

using Bytes = std::vector<uint8_t>;

TEST(Sequencer, CrowdedTickIsSplitOverStepsWithoutLosingAnEvent) {
    // 3000 notes of channel 2 at tick 10 need 6001 bytes; channel 0 has two
    // programs there, channel 7 a controller and a note.
    ModuleSource source = playableSource(3);
    source.channels[0].notes = {{10, 1, 1}};
    source.channels[0].programs = {{10, 1}, {10, 2}};
    source.channels[2].notes.push_back({0, 5, 5});
    for (int i = 0; i < 3000; ++i)
        source.channels[2].notes.push_back({10, uint8_t(i % 128), uint8_t(i / 128 + 1)});
    source.channels[2].notes.push_back({11, 5, 0});
    source.channels[7].notes = {{10, 99, 98}};
    source.channels[7].controllers[2] = {{10, 77}};
    OpenModule song(source);
    EXPECT_EQ(song.step(), (Bytes{0x92, 5, 5, 0xFD}));

    Bytes all;
    int steps = 0;
    while (song.player->playing != 0 && song.player->nextTick == 10u) {
        Bytes commands = song.step();
        ASSERT_LE(commands.size(), size_t(commandBufferSize));
        ASSERT_EQ(commands.back(), 0xFD);
        ASSERT_EQ(song.player->currentTick, 10u);
        all.insert(all.end(), commands.begin(), commands.end() - 1);
        all.push_back(0xFD);
        ++steps;
    }
    EXPECT_EQ(steps, 3);   // the notes that fit, the rest of the tick, channel 0's second program
    // 6 bytes, then 2044 note pairs: 4094 bytes, and the next pair would leave no room for 0xFD
    Bytes expected = {0xC0, 1, 0x90, 1, 1, 0x92};
    for (int i = 0; i < 3000; ++i) {
        if (i == 2044) expected.insert(expected.end(), {0xFD, 0x92});
        expected.push_back(uint8_t(i % 128));
        expected.push_back(uint8_t(i / 128 + 1));
    }
    expected.insert(expected.end(), {0xB7, 3, 77, 0x97, 99, 98, 0xFD, 0xC0, 2, 0xFD});
    EXPECT_EQ(all, expected);
    EXPECT_EQ(song.player->nextTick, 11u);
    EXPECT_EQ(song.step(), (Bytes{0x92, 5, 0, 0xFD}));
    EXPECT_EQ(song.player->playing, 0u);
}

TEST(Sequencer, SplitStepResumesInsideAChannelWhereItStopped) {
    // 0x90 and 2046 note pairs take 4093 bytes; channel 1's program fills the
    // buffer to 4095, so its controller opens the next buffer.
    ModuleSource source = playableSource(10);
    for (int i = 0; i < 2046; ++i) source.channels[0].notes.push_back({0, 1, 2});
    ChannelEvents& ch = source.channels[1];
    ch.notes = {{0, 60, 100}};
    ch.programs = {{0, 3}, {0, 4}};
    ch.controllers[2] = {{0, 33}};
    ch.bends = {{0, 5, 6}};
    OpenModule song(source);
    Bytes first = song.step();
    ASSERT_EQ(first.size(), size_t(commandBufferSize));
    EXPECT_EQ(Bytes(first.end() - 4, first.end()), (Bytes{2, 0xC1, 3, 0xFD}));
    EXPECT_EQ(song.player->nextTick, 0u);
    EXPECT_EQ(song.step(), (Bytes{0xB1, 3, 33, 0xE1, 5, 6, 0x91, 60, 100, 0xFD}));
    EXPECT_EQ(song.step(), (Bytes{0xC1, 4, 0xFD}));   // the second program: one per step
    EXPECT_EQ(song.player->playing, 0u);
}
