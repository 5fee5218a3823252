// Sequencer steps: which commands a tick produces, in which order, and where
// the next step lies. Buffers are captured with no synthesizer attached.
#include <gtest/gtest.h>

#include "module_test_support.h"
#include "player/timing.h"

using Bytes = std::vector<uint8_t>;

TEST(Sequencer, FirstStepJumpsToTheEarliestEventAndTheLastEndsTheSong) {
    ModuleSource source = playableSource();
    source.channels[4].notes = {{1000, 60, 100}};
    source.channels[4].controllers[0] = {{1000, 9}};
    OpenModule song(source);
    EXPECT_EQ(song.player->nextTick, 1000u);
    EXPECT_EQ(song.step(), (Bytes{0xB4, 1, 9, 0x94, 60, 100, 0xFD}));
    EXPECT_EQ(song.player->currentTick, 1000u);
    EXPECT_EQ(song.player->nextTick, 0xFFFFFFFFu);
    EXPECT_EQ(song.player->playing, 0u);
    // an idle sequencer's step does nothing
    song.player->commandBuffer[0] = 0x55;
    sequencerStep(*song.player);
    EXPECT_EQ(song.player->commandBuffer[0], 0x55);
}

TEST(Sequencer, TenByteNoteStreamPlaysNoteOnThenVelocityZero) {
    // Hand-written: header (96 ticks per beat, G = 0), channel 0 with two
    // notes, fifteen empty channels, 22 global bytes, one patch, no speech.
    Bytes image = {96, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
                   0x00, 0x60, 0x00, 0x00, 0x00, 0x00, 0x3C, 0x00, 0x64, 0x9C};
    image.resize(image.size() + 9 * 4 + 15 * 4, 0);
    image.insert(image.end(), {22, 0, 0, 0});
    image.resize(image.size() + 22, 64);
    image.insert(image.end(), {90, 0, 0, 0, 4, 0, 0, 0});
    image.resize(image.size() + 86, 0);
    image.insert(image.end(), {0, 0, 0, 0});
    OpenModule song(image);
    EXPECT_EQ(song.step(), (Bytes{0x90, 60, 100, 0xFD}));
    EXPECT_EQ(song.player->currentTick, 0u);
    EXPECT_EQ(song.player->nextTick, 96u);
    EXPECT_EQ(song.step(), (Bytes{0x90, 60, 0, 0xFD}));
    EXPECT_EQ(song.player->currentTick, 96u);
    EXPECT_EQ(song.player->playing, 0u);
}

TEST(Sequencer, SameTickEventsOfOneStreamAreOnePerStepExceptNotes) {
    ModuleSource source = playableSource(20);
    source.channels[3].notes = {{50, 1, 1}};
    source.channels[3].programs = {{50, 7}, {50, 11}};
    OpenModule programs(source);
    EXPECT_EQ(programs.step(), (Bytes{0xC3, 7, 0x93, 1, 1, 0xFD}));
    EXPECT_EQ(programs.player->nextTick, 50u);   // a further step at the same tick
    EXPECT_EQ(programs.step(), (Bytes{0xC3, 11, 0xFD}));
    EXPECT_EQ(programs.player->playing, 0u);

    ModuleSource three = playableSource();
    three.channels[1].notes = {{8, 60, 90}, {8, 64, 91}, {8, 67, 92}, {9, 60, 0}};
    OpenModule chord(three);
    EXPECT_EQ(chord.step(), (Bytes{0x91, 60, 90, 64, 91, 67, 92, 0xFD}));
    EXPECT_EQ(chord.player->nextTick, 9u);
}

TEST(Sequencer, OrderWithinATickIsProgramControllersBendNotesByChannel) {
    ModuleSource source = playableSource(10);
    source.channels[0].notes = {{5, 60, 100}};
    source.channels[0].controllers[1] = {{5, 33}};
    source.channels[0].controllers[4] = {{5, 44}};
    OpenModule controllers(source);
    EXPECT_EQ(controllers.step(), (Bytes{0xB0, 2, 33, 5, 44, 0x90, 60, 100, 0xFD}));

    ModuleSource mixed = playableSource(10);
    mixed.channels[2].notes = {{0, 70, 1}};
    mixed.channels[2].bends = {{0, 0x10, 0x40}};
    mixed.channels[2].programs = {{0, 9}};
    mixed.channels[2].controllers[6] = {{0, 127}};
    mixed.channels[0].notes = {{0, 50, 2}};
    OpenModule order(mixed);
    EXPECT_EQ(order.step(),
              (Bytes{0x90, 50, 2, 0xC2, 9, 0xB2, 7, 127, 0xE2, 0x10, 0x40, 0x92, 70, 1, 0xFD}));
}

TEST(Sequencer, RunningValuesWrapModulo256AndAreNotMaskedTo7Bits) {
    ModuleSource source = playableSource();
    source.channels[6].notes = {{0, 0x40, 0x80}, {1, 0x34, 0xFF}};
    std::vector<uint8_t> image = mustWrite(source);
    OpenModule song(image);
    const uint8_t* notes = song.player->view.channels[6].notes;
    EXPECT_EQ(notes[3 * 2 + 1], 0xF4);   // stored difference of the second note
    EXPECT_EQ(song.step(), (Bytes{0x96, 0x40, 0x80, 0xFD}));
    EXPECT_EQ(song.step(), (Bytes{0x96, 0x34, 0xFF, 0xFD}));
}

TEST(Sequencer, TempoEventGovernsTheIntervalStartingAtItsTick) {
    // G = 3: the tempo plane starts 9 bytes into the stream, at no aligned address
    ModuleSource source = playableSource();
    source.tempos = {{0, 500000}, {96, 250000, 6, 8, 24}, {96, 125000, 7, 8, 24}};
    source.channels[0].notes = {{0, 60, 1}, {96, 60, 0}, {192, 61, 1}};
    OpenModule song(source);
    EXPECT_EQ(song.player->tempoScaled, defaultTempoScaled);
    song.step();   // tick 0
    uint32_t remainder = 0;
    const uint32_t tickScale = song.player->view.tickScale;
    EXPECT_EQ(ticksToFrames(song.player->nextTick - song.player->currentTick, song.player->tempoScaled,
                            tickScale, remainder), 22050u);
    EXPECT_EQ(song.step(), (Bytes{0x90, 60, 0, 0xFD}));   // tick 96, first tempo event there
    EXPECT_EQ(song.player->tempoScaled, 250000u * 441u);
    EXPECT_EQ(song.player->numerator, 6u);
    EXPECT_EQ(song.player->nextTick, 96u);                // the second one waits for a step
    EXPECT_EQ(song.step(), (Bytes{0xFD}));
    EXPECT_EQ(song.player->tempoScaled, 125000u * 441u);
    EXPECT_EQ(song.player->numerator, 7u);
    EXPECT_EQ(song.player->denominator, 8u);
    EXPECT_EQ(song.player->thirdByte, 24u);
    EXPECT_EQ(ticksToFrames(song.player->nextTick - song.player->currentTick, song.player->tempoScaled,
                            tickScale, remainder), 5512u);   // 96 ticks at 1/8 s per beat: 5512.5
    EXPECT_EQ(song.step(), (Bytes{0x90, 61, 1, 0xFD}));
    EXPECT_EQ(song.player->playing, 0u);
}

TEST(Sequencer, ResetRewindsCursorsTempoAndTimeSignature) {
    ModuleSource source = playableSource();
    source.tempos = {{3, 300000, 3, 2, 1}};
    source.channels[2].notes = {{4, 60, 1}, {5, 60, 0}};
    OpenModule song(source);
    EXPECT_EQ(song.player->nextTick, 3u);
    song.step();
    song.step();
    sequencerReset(*song.player);
    EXPECT_EQ(song.player->currentTick, 0u);
    EXPECT_EQ(song.player->nextTick, 3u);
    EXPECT_EQ(song.player->tempoScaled, defaultTempoScaled);
    EXPECT_EQ(song.player->numerator, 4u);
    EXPECT_EQ(song.player->denominator, 4u);
    EXPECT_EQ(song.player->thirdByte, 8u);
    song.step();
    EXPECT_EQ(song.step(), (Bytes{0x92, 60, 1, 0xFD}));
}

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
