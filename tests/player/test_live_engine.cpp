// The live engine: MIDI messages as the synthesizer's commands (sustain,
// program changes, drums; queued messages' timing: q7m live's test); the
// byte parser that gathers messages from a wire.
#include <gtest/gtest.h>
#include <memory>
#include "player/live_engine.h"
#include "player/midi_parser.h"
#include "render_test_support.h"

namespace {

class LiveEngineTest : public ::testing::Test {
protected:
    std::vector<uint8_t> bank = buildPatchBank({audiblePatch(), audiblePatch(), audiblePatch()});
    std::vector<uint8_t> globals = neutralGlobals();
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<LiveEngine> engine = std::make_unique<LiveEngine>();

    void SetUp() override {
        LiveRouting routing{};
        for (uint8_t c = 0; c < 16; ++c) routing.channelOf[c] = c;
        for (uint8_t p = 0; p < 128; ++p) routing.programOf[p] = p % 3;
        routing.drumChannel[36] = 14;
        routing.drumKey[36] = 43;
        routing.startProgram[14] = 2;
        routing.controllerOf[1] = 1;
        routing.percussionChannel = 9;
        routing.sustainController = 64;
        synthSetSeed(*synth, 1);
        synthInit(*synth, bank.data(), static_cast<uint32_t>(bank.size()), 44100);
        synthSetGlobals(*synth, globals.data());
        liveEngineStart(*engine, synth.get(), routing);
    }

    void send(std::initializer_list<uint8_t> bytes) {
        uint8_t message[3] = {0, 0, 0};
        std::copy(bytes.begin(), bytes.end(), message);
        liveEngineHandle(*engine, message);
    }

    int32_t held(int32_t channel, int32_t key) const {
        int32_t count = 0;
        for (int32_t v = 0; v < synthVoiceCount; ++v) {
            count += synth->voiceChannel[v] == channel && synth->voices[v].note == key && synth->voices[v].gate;
        }
        return count;
    }
};

}  // namespace

TEST_F(LiveEngineTest, SustainPedalHoldsNoteEndsUntilReleasedOrStruckAgain) {
    send({0xB0, 64, 127});
    send({0x90, 60, 100});
    send({0x80, 60, 0});
    EXPECT_EQ(held(0, 60), 1);
    send({0x90, 60, 90});  // the held note ends, the new one sounds
    EXPECT_EQ(held(0, 60), 1);
    send({0x90, 60, 0});
    send({0xB0, 64, 0});
    EXPECT_EQ(held(0, 60), 0);
}

TEST_F(LiveEngineTest, ProgramChangesPickPatchesAndKeepControllersAndDrumsPlayOnTheirChannel) {
    send({0xB0, 1, 80});
    send({0xC0, 4});  // program 4 is patch 1
    EXPECT_EQ(synth->channelControls[0][0], 1);
    EXPECT_EQ(synth->channelControls[0][1], 80);  // sent again after the synth cleared it
    send({0x90, 60, 100});
    send({0xC0, 7});  // also patch 1: no program change, the note keeps sounding
    EXPECT_EQ(held(0, 60), 1);

    send({0x99, 36, 100});
    EXPECT_EQ(held(14, 43), 1);
    EXPECT_EQ(synth->channelControls[14][0], 2);
}

TEST(MidiParser, GathersMessagesThroughRunningStatusRealTimeAndSysEx) {
    const uint8_t wire[] = {0x3C, 0x90, 0x3C, 0x64, 0xF8, 0x40, 0x64, 0xF0, 0x01, 0x02, 0xF7,
                            0x3E, 0x00, 0xC0, 0x05, 0xE0, 0x00};
    MidiParser parser;
    std::vector<std::vector<uint8_t>> messages;
    for (uint8_t byte : wire) {
        uint8_t message[3];
        uint8_t length = 0;
        if (midiParserFeed(parser, byte, message, length)) messages.emplace_back(message, message + length);
    }
    // A data byte before any status and after SysEx (no running status) is dropped.
    const std::vector<std::vector<uint8_t>> expected = {{0x90, 0x3C, 0x64}, {0x90, 0x40, 0x64}, {0xC0, 0x05}};
    EXPECT_EQ(messages, expected);
}
