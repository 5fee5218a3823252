#include <gtest/gtest.h>
#include "synth_test_support.h"

namespace {

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        bank = buildPatchBank({heldPatch(), heldPatch(1), heldPatch(2), heldPatch(0)});
        initSynth(*synth, bank);
    }
    std::vector<uint8_t> bank;
    std::unique_ptr<Synth> synth = makeSynth();
};

TEST_F(Commands, RunningStatusWithinAndAcrossStreams) {
    send(*synth, {0x90, 0x3C, 0x64, 0x40, 0x64, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 0), 2);
    EXPECT_EQ(synth->voices[0].note, 60);
    EXPECT_EQ(synth->voices[1].note, 64);
    EXPECT_EQ(synth->voices[1].velocity, 100.0f);
    EXPECT_EQ(synth->runningStatus, 0x90u);
    // A stream that starts with a data byte goes on under the last status.
    send(*synth, {0x43, 0x50, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 0), 3);
    EXPECT_EQ(synth->voices[2].note, 67);
    EXPECT_EQ(synth->voiceStamp[2], 2u);
    EXPECT_EQ(synth->noteCounter, 3u);
}

TEST_F(Commands, VelocityZeroReleasesLikeNoteOff) {
    send(*synth, {0x90, 0x3C, 0x64, 0x3C, 0x64, 0xFD});  // the same key twice
    ASSERT_EQ(voicesOn(*synth, 0), 2);
    send(*synth, {0x90, 0x3C, 0x00, 0xFD});
    EXPECT_EQ(synth->voices[0].gate, 0);  // only the lower-indexed voice
    EXPECT_EQ(synth->voices[1].gate, 1);
    send(*synth, {0x80, 0x3C, 0x00, 0xFD});
    EXPECT_EQ(synth->voices[1].gate, 0);
    // Released voices stay assigned until their envelope finishes.
    EXPECT_EQ(voicesOn(*synth, 0), 2);
    send(*synth, {0x80, 0x3C, 0x00, 0x80, 0x22, 0x00, 0xFD});  // nothing left to release
}

TEST_F(Commands, PolyphonyZeroStartsNoVoice) {
    send(*synth, {0xC2, 0x03, 0x92, 0x3C, 0x64, 0x3E, 0x64, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 2), 0);
    EXPECT_EQ(synth->noteCounter, 0u);
}

TEST_F(Commands, ProgramChangeFreesOnlyOnANewProgramAndAlwaysZeroesControllers) {
    send(*synth, {0xB4, 0x01, 0x11, 0x06, 0x66, 0x07, 0x77, 0x94, 0x3C, 0x64, 0xFD});
    ASSERT_EQ(voicesOn(*synth, 4), 1);
    send(*synth, {0xC4, 0x80, 0xFD});  // 0x80 masked to program 0: the same one
    EXPECT_EQ(voicesOn(*synth, 4), 1);
    EXPECT_EQ(synth->channelControls[4][1], 0);
    EXPECT_EQ(synth->channelControls[4][6], 0);
    EXPECT_EQ(synth->channelControls[4][7], 0x77);
    send(*synth, {0xB4, 0x02, 0x22, 0xC4, 0x02, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 4), 0);
    EXPECT_EQ(synth->channelControls[4][0], 2);
    EXPECT_EQ(synth->channelControls[4][2], 0);
    EXPECT_EQ(synth->channelControls[4][7], 0x77);
}

TEST_F(Commands, AllSoundOffFreesAllNotesOffReleases) {
    send(*synth, {0x96, 0x3C, 0x64, 0x3E, 0x64, 0x97, 0x40, 0x64, 0xFD});
    send(*synth, {0xB6, 123, 0x00, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 6), 2);
    EXPECT_EQ(synth->voices[0].gate, 0);
    EXPECT_EQ(synth->voices[1].gate, 0);
    EXPECT_EQ(synth->voices[2].gate, 1);  // channel 7 untouched
    send(*synth, {0xB6, 120, 0x00, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 6), 0);
    EXPECT_EQ(voicesOn(*synth, 7), 1);
    // Other numbers and the ignored classes consume their data bytes only.
    send(*synth, {0xB7, 0x00, 0x40, 0x79, 0x40, 0xA7, 0x40, 0x10, 0xD7, 0x40,
                  0xE7, 0x00, 0x7F, 0x97, 0x41, 0x64, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 7), 2);
    EXPECT_EQ(synth->voices[0].note, 65);
}

TEST_F(Commands, ResetClearsRunningStatusAndState) {
    send(*synth, {0x90, 0x3C, 0x64, 0xB0, 0x01, 0x40, 0xFD});
    send(*synth, {0xFF, 0x3E, 0x64, 0xFD});  // the data byte after the reset ends the stream
    EXPECT_EQ(synth->runningStatus, 0u);
    EXPECT_EQ(voicesOn(*synth, 0), 0);
    EXPECT_EQ(synth->channelControls[0][1], 0);
    EXPECT_EQ(synth->channelControls[0][7], 127);
    EXPECT_EQ(synth->noteCounter, 0u);
    EXPECT_EQ(synth->patchMap, bank.data());
    EXPECT_EQ(synth->sampleRate, 44100);
    send(*synth, {0x3C, 0x64, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 0), 0);
}

TEST_F(Commands, DataAfterOtherSystemStatusIsSkipped) {
    // 0xF8 takes no data; the bytes after it are skipped one by one until a status.
    send(*synth, {0xF8, 0x3C, 0x64, 0x90, 0x3C, 0x64, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 0), 1);
    send(*synth, {0xF0, 0x01, 0xFD});
    EXPECT_EQ(synth->runningStatus, 0xF0u);
    send(*synth, {0x05, 0x06, 0xFD});  // running system status: still ends
    EXPECT_EQ(voicesOn(*synth, 0), 1);
}

}  // namespace
