#include <gtest/gtest.h>
#include <cmath>
#include "synth/params.h"
#include "synth_test_support.h"

namespace {

constexpr int32_t ch(int32_t patchByte) { return patchByte - voiceParamCount; }

// A bank holding one patch as program 0; the synth plays it on channel 0.
class Matrix : public ::testing::Test {
protected:
    void load(const PatchRecord& patch) {
        bank = buildPatchBank({patch});
        initSynth(*synth, bank);
    }
    // Note on for channel 0 and the voice it took.
    int32_t play(uint8_t key = 60, uint8_t velocity = 100) {
        send(*synth, {0x90, key, velocity, 0xFD});
        for (int32_t v = 0; v < synthVoiceCount; ++v)
            if (synth->voiceChannel[v] == 0 && synth->voices[v].note == key) return v;
        return -1;
    }
    void controller(uint8_t number, uint8_t value) { send(*synth, {0xB0, number, value, 0xFD}); }
    std::vector<uint8_t> bank;
    std::unique_ptr<Synth> synth = makeSynth();
};

TEST_F(Matrix, NoRoutingsKeepTheBytes) {
    PatchRecord patch = heldPatch();
    for (int32_t k = 0; k < 25; ++k) patch.channel[k] = static_cast<uint8_t>(3 * k + 1);
    patch.voice[osc1Color] = 17;
    load(patch);
    const int32_t v = play();
    ASSERT_GE(v, 0);
    for (int32_t k = 0; k < voiceParamCount; ++k)
        EXPECT_EQ(synth->voiceParams[v][k], static_cast<float>(patch.voice[k])) << k;
    channelParamUpdate(*synth, 0);
    for (int32_t k = 0; k < channelParamCount; ++k)
        EXPECT_EQ(synth->channelParams[0][k], static_cast<float>(3 * k + 1)) << k;
}

TEST_F(Matrix, ControllerRoutingsAmountAndClamp) {
    PatchRecord patch = heldPatch();
    patch.voice[osc1Color] = 40;
    patch.voice[osc2Color] = 120;
    patch.routings = {
        {1, 64, osc1Volume},            // amount 64: no effect
        {1, 0, osc1Color},              // 40 - 127 clamps at 0
        {2, 96, osc2Color},             // 120 + 20 clamps at 128 ...
        {2, 32, osc2Color},             // ... then - 20: 108, not 120
        {1, 0, 84}, {1, 127, 200},      // destinations outside the patch
        {1, 127, chanVolume},           // 100 + 125.02 caps at 128
        {2, 96, chanReverbSend}, {2, 32, chanReverbSend},
    };
    patch.channel[ch(chanReverbSend)] = 120;
    load(patch);
    controller(1, 127);
    controller(2, 40);
    const int32_t v = play();
    ASSERT_GE(v, 0);
    EXPECT_EQ(synth->voiceParams[v][osc1Volume], 100.0f);
    EXPECT_EQ(synth->voiceParams[v][osc1Color], 0.0f);
    EXPECT_FALSE(std::signbit(synth->voiceParams[v][osc1Color]));
    EXPECT_EQ(synth->voiceParams[v][osc2Color], 108.0f);
    channelParamUpdate(*synth, 0);
    EXPECT_EQ(synth->channelParams[0][ch(chanVolume)], 128.0f);
    EXPECT_EQ(synth->channelParams[0][ch(chanReverbSend)], 108.0f);
    // Nothing else moved: the voice routings skip channel destinations and vice versa.
    for (int32_t k = 0; k < voiceParamCount; ++k) {
        if (k == osc1Color || k == osc2Color) continue;
        EXPECT_EQ(synth->voiceParams[v][k], static_cast<float>(patch.voice[k])) << k;
    }
    for (int32_t k = 2; k < channelParamCount; ++k)
        EXPECT_EQ(synth->channelParams[0][k], static_cast<float>(patch.channel[k])) << k;
}

TEST_F(Matrix, UnitSourcesReachOnlyVoiceParameters) {
    PatchRecord patch = heldPatch();
    patch.voice[osc1Color] = 64;
    patch.voice[osc2Color] = 64;
    patch.voice[osc3Color] = 64;
    patch.voice[osc3Volume] = 64;
    patch.routings = {
        {8, 96, osc1Color},      // + env 1 / 2
        {9, 32, osc2Color},      // - env 2 / 2
        {10, 127, osc3Color},    // + lfo 1 x 63/64
        {11, 0, osc3Volume},     // - lfo 2
        {8, 127, chanVolume}, {9, 127, chanVolume}, {10, 127, chanVolume},
        {11, 127, chanVolume}, {12, 127, chanVolume},
    };
    load(patch);
    const int32_t v = play();
    ASSERT_GE(v, 0);
    SynthVoice& voice = synth->voices[v];
    voice.env[0].out = 50.0f;
    voice.env[1].out = 30.0f;
    voice.lfo[0].out = 64.0f;
    voice.lfo[1].out = 10.0f;
    voiceParamUpdate(*synth, v);
    EXPECT_EQ(synth->voiceParams[v][osc1Color], 89.0f);
    EXPECT_EQ(synth->voiceParams[v][osc2Color], 49.0f);
    EXPECT_EQ(synth->voiceParams[v][osc3Color], 127.0f);
    EXPECT_EQ(synth->voiceParams[v][osc3Volume], 54.0f);
    channelParamUpdate(*synth, 0);
    EXPECT_EQ(synth->channelParams[0][ch(chanVolume)], 100.0f);
}

TEST_F(Matrix, VelocityAndKeyAtNoteOnAreThoseOfThePreviousNote) {
    PatchRecord patch = heldPatch(1);
    patch.voice[osc1Color] = 10;
    patch.voice[osc2Color] = 10;
    patch.routings = {{0, 96, osc1Color}, {12, 96, osc2Color}};
    load(patch);
    int32_t v = play(60, 64);
    ASSERT_EQ(v, 0);
    // A fresh voice: velocity 0 and note 0, so the key term is (0 - 48) x 2 x 0.5.
    EXPECT_EQ(synth->voiceParams[0][osc1Color], 10.0f);
    EXPECT_EQ(synth->voiceParams[0][osc2Color], 0.0f);
    float frame[2 * 128];
    synthRender(*synth, frame, 128, nullptr, 0);
    EXPECT_EQ(synth->voiceParams[0][osc1Color], 42.0f);   // 10 + 64 / 2
    EXPECT_EQ(synth->voiceParams[0][osc2Color], 22.0f);   // 10 + (60 - 48) x 2 / 2
    v = play(72, 20);  // monophonic retrigger: still the previous note's sources
    ASSERT_EQ(v, 0);
    EXPECT_EQ(synth->voiceParams[0][osc1Color], 42.0f);
    EXPECT_EQ(synth->voiceParams[0][osc2Color], 22.0f);
}

TEST_F(Matrix, ChannelSourceZeroReadsThePreviousReverbSend) {
    PatchRecord patch = heldPatch();
    patch.channel[ch(chanDelaySend)] = 10;
    patch.routings = {{0, 127, chanDelaySend}};
    load(patch);
    synth->channels[0].reverbSend = 0.25f;
    channelParamUpdate(*synth, 0);
    EXPECT_EQ(synth->channelParams[0][ch(chanDelaySend)], 10.24609375f);  // 10 + 0.25 x 63/64
}

// Banks written byte by byte: an offset table, then records.
std::vector<uint8_t> handBank(std::initializer_list<uint32_t> offsets, size_t size) {
    std::vector<uint8_t> bank(size, 0);
    size_t at = 0;
    for (uint32_t offset : offsets) {
        for (int32_t b = 0; b < 4; ++b) bank[at + b] = static_cast<uint8_t>(offset >> (8 * b));
        at += 4;
    }
    return bank;
}

TEST(PatchLookup, NeverReadsOutsideTheBank) {
    // Program 0 at 8 (86 bytes, ends at 94); program 1 at 94 with 2 routings (92 bytes).
    std::vector<uint8_t> bank = handBank({8, 94}, 94 + 92);
    bank[8 + patchPolyphonyOffset] = 4;
    bank[94 + patchRoutingCountOffset] = 2;
    bank[94 + patchPolyphonyOffset] = 4;
    bank[94 + voiceParamCount] = 77;  // chanVolume of program 1
    auto synth = makeSynth();
    auto lookup = [&](uint32_t size, int32_t program) {
        synthInit(*synth, bank.data(), size, 44100);
        return synthPatch(*synth, program);
    };
    EXPECT_EQ(lookup(186, 0), bank.data() + 8);
    EXPECT_EQ(lookup(186, 1), bank.data() + 94);
    EXPECT_EQ(lookup(185, 1), nullptr);   // the last routing byte is missing
    EXPECT_EQ(lookup(94 + 86, 1), nullptr);
    EXPECT_EQ(lookup(93, 0), nullptr);    // the record needs 86 bytes
    EXPECT_EQ(lookup(94, 0), bank.data() + 8);
    // Entry 2 lies inside program 0's record and reads offset 0: a record that
    // starts at the table itself is odd but inside the bank.
    EXPECT_EQ(lookup(186, 2), bank.data());
    EXPECT_EQ(lookup(7, 0), nullptr);     // the entry fits, the record does not
    EXPECT_EQ(lookup(3, 0), nullptr);     // not even the entry
    EXPECT_EQ(lookup(186, 127), nullptr);
    synthInit(*synth, nullptr, 0, 44100);
    EXPECT_EQ(synthPatch(*synth, 0), nullptr);
}

TEST(PatchLookup, MissingPatchStartsNoVoiceAndZeroesTheChannel) {
    std::vector<uint8_t> bank = handBank({8, 94}, 185);  // program 1 is cut short
    bank[8 + patchPolyphonyOffset] = 4;
    bank[8 + voiceParamCount] = 90;
    bank[8 + eg1Sustain] = 128;
    bank[8 + eg1Gain] = 127;
    bank[94 + patchRoutingCountOffset] = 2;
    bank[94 + patchPolyphonyOffset] = 4;
    auto synth = makeSynth();
    synthInit(*synth, bank.data(), static_cast<uint32_t>(bank.size()), 44100);
    send(*synth, {0x90, 0x3C, 0x64, 0xC1, 0x01, 0x91, 0x3C, 0x64, 0xFD});
    EXPECT_EQ(voicesOn(*synth, 0), 1);
    EXPECT_EQ(voicesOn(*synth, 1), 0);
    synth->channelParams[1][0] = 5.0f;
    channelParamUpdate(*synth, 1);
    channelParamUpdate(*synth, 0);
    for (int32_t k = 0; k < channelParamCount; ++k) EXPECT_EQ(synth->channelParams[1][k], 0.0f);
    EXPECT_EQ(synth->channelParams[0][0], 90.0f);
    float out[2 * 300];
    synthRender(*synth, out, 300, nullptr, 0);  // every channel updates without reading past the bank
}

}  // namespace
