#include <gtest/gtest.h>
#include <cmath>
#include "synth/params.h"
#include "synth_test_support.h"

namespace {

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

// The frame is rate x 128 / 44100 samples, kept within the buffers (1..280).
TEST(SynthInit, FrameLengthStaysWithinTheBuffers) {
    const std::vector<uint8_t> bank = buildPatchBank({heldPatch()});
    auto synth = makeSynth();
    for (const auto& [rate, length] : {std::pair{200000, 280}, {0, 1}, {48000, 140}}) {
        initSynth(*synth, bank, rate);
        EXPECT_EQ(synth->rates.frameLength, length) << rate;
    }
}

// A controller moved during the song reaches the channel's settings at the
// next frame, exactly as the same value set before the first frame does:
// the skipped-update check must see every controller.
TEST(ChannelUpdate, AControllerMovedMidSongActsAsIfSetFromTheStart) {
    PatchRecord patch = heldPatch();
    for (uint8_t source = 1; source <= 7; ++source)
        patch.routings.push_back({source, 100, static_cast<uint8_t>(chanReverbSend - 1 + source)});
    const std::vector<uint8_t> bank = buildPatchBank({patch});
    float out[2 * 512];
    for (uint8_t controller = 1; controller <= 7; ++controller) {
        auto moved = makeSynth();
        auto fromStart = makeSynth();
        initSynth(*moved, bank);
        initSynth(*fromStart, bank);
        send(*fromStart, {0xB0, controller, 90, 0xFD});
        synthRender(*moved, out, 512, nullptr, 0);
        synthRender(*fromStart, out, 512, nullptr, 0);
        send(*moved, {0xB0, controller, 90, 0xFD});
        synthRender(*moved, out, 512, nullptr, 0);
        for (int32_t k = 0; k < channelParamCount; ++k)
            EXPECT_EQ(moved->channelParams[0][k], fromStart->channelParams[0][k]) << int(controller) << " " << k;
    }
}

}  // namespace
