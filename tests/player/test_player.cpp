// The player's operations and its render entry: states, flags, restarts
// and what it hands the sound output.
#include <gtest/gtest.h>

#include <cstring>

#include "render_test_support.h"

namespace {

// A sound output that only records what the player asks of it.
struct FakeOutput {
    int starts = 0, closes = 0, locks = 0, unlocks = 0;
    float volume = 0;
    RenderCallback callback = nullptr;
    void* callbackContext = nullptr;
    int32_t played = 0;
    bool lockHeldDuringReset = false;
};

OutputPort fakePort(FakeOutput& out) {
    OutputPort port;
    port.context = &out;
    port.start = [](void* c, RenderCallback cb, void* ctx) {
        auto& o = *static_cast<FakeOutput*>(c);
        ++o.starts;
        o.callback = cb;
        o.callbackContext = ctx;
        return true;
    };
    port.close = [](void* c) { ++static_cast<FakeOutput*>(c)->closes; };
    port.setVolume = [](void* c, float v) { static_cast<FakeOutput*>(c)->volume = v; };
    port.playedBytes = [](void* c) { return static_cast<FakeOutput*>(c)->played; };
    port.lock = [](void* c) { ++static_cast<FakeOutput*>(c)->locks; };
    port.unlock = [](void* c) { ++static_cast<FakeOutput*>(c)->unlocks; };
    return port;
}

}  // namespace

TEST(PlayerRender, PlayAfterTheEndRestartsTheSongIdentically) {
    // A noise oscillator makes the seed matter.
    ModuleSource source = audibleSource({{0, 60, 100}, {48, 64, 100}, {96, 60, 0}, {100, 64, 0}});
    PatchRecord noisy = audiblePatch();
    noisy.voice[osc2Mode] = 4;
    noisy.voice[osc2Volume] = 40;
    source.patchBlock = buildPatchBank({noisy});
    OfflineSong song(source, 7);
    const std::vector<float> first = song.render(40000, 777);
    ASSERT_EQ(song.player->playing.load(), 0u);
    song.player->stepRemainder = 12345;  // whatever the last step left: play starts it again
    playerPlay(*song.player);
    EXPECT_EQ(song.player->stepRemainder, 0u);
    EXPECT_EQ(song.player->samplesToNextStep, 0u);
    const std::vector<float> second = song.render(40000, 4096);
    EXPECT_EQ(first, second);
    EXPECT_EQ(song.player->playStartBytes, int32_t(40000 * 4));
}

TEST(PlayerControl, StatesOfOpenPlayStopAndTheOutputPort) {
    FakeOutput out;
    auto synth = std::make_unique<Synth>();
    auto player = std::make_unique<ModulePlayer>();
    playerInit(*player, synth.get(), fakePort(out));
    std::vector<uint8_t> image = writeOrFail(audibleSource({{0, 60, 100}, {960, 60, 0}}));
    std::string reason;
    ASSERT_TRUE(playerOpen(*player, image.data(), uint32_t(image.size()), reason)) << reason;
    EXPECT_EQ(out.starts, 1);
    EXPECT_EQ(out.callback, &playerRender);
    EXPECT_EQ(out.callbackContext, player.get());
    EXPECT_EQ(out.volume, 1.0f);
    EXPECT_EQ(player->playing.load(), 0u);
    EXPECT_EQ(player->muted.load(), 1u);

    std::vector<float> block(2 * 512, 1.0f);
    playerRender(player.get(), block.data(), 512);  // opened: silence, no step
    EXPECT_TRUE(allZero(block));
    EXPECT_EQ(player->currentTick, 0u);

    playerPlay(*player);  // the reset runs under the output's lock
    EXPECT_EQ(out.locks, 1);
    EXPECT_EQ(out.unlocks, 1);
    EXPECT_EQ(player->playing.load(), 1u);
    EXPECT_EQ(player->muted.load(), 0u);
    EXPECT_EQ(player->playStartBytes, 512 * 4);
    playerRender(player.get(), block.data(), 512);
    EXPECT_FALSE(allZero(block));

    playerPlay(*player);  // a render call may be inside the synthesizer now
    EXPECT_EQ(out.locks, 2);
    EXPECT_EQ(out.unlocks, 2);

    playerStop(*player);
    EXPECT_EQ(player->playing.load(), 0u);
    EXPECT_EQ(player->muted.load(), 1u);
    playerClose(*player);
    EXPECT_EQ(out.closes, 1);
}

TEST(PlayerControl, PositionCountsFromTheSongsFirstFrameAsHeard) {
    FakeOutput out;
    auto player = std::make_unique<ModulePlayer>();
    playerInit(*player, nullptr, fakePort(out));
    std::vector<uint8_t> image = writeOrFail(audibleSource({{0, 60, 100}, {96, 60, 0}}));
    std::string reason;
    ASSERT_TRUE(playerOpen(*player, image.data(), uint32_t(image.size()), reason)) << reason;
    std::vector<float> block(2 * 1000);
    playerRender(player.get(), block.data(), 1000);  // 4000 bytes before the song starts
    playerPlay(*player);
    out.played = -65536 + 4000;  // one buffer of 65,536 bytes not yet heard
    EXPECT_EQ(playerPositionMs(*player), -371);  // -65,536,000 / 176,400, toward zero
    out.played = 4000;
    EXPECT_EQ(playerPositionMs(*player), 0);
    out.played = 4000 + 176400;
    EXPECT_EQ(playerPositionMs(*player), 1000);
    out.played = 4000 + 176399;
    EXPECT_EQ(playerPositionMs(*player), 999);
}

TEST(PlayerControl, AModuleThatFailsTheParseIsRefusedAndNothingPlays) {
    FakeOutput out;
    auto synth = std::make_unique<Synth>();
    auto player = std::make_unique<ModulePlayer>();
    playerInit(*player, synth.get(), fakePort(out));
    std::vector<uint8_t> image = writeOrFail(audibleSource({{0, 60, 100}}));
    image.resize(40);  // truncated inside the channel records
    std::string reason;
    EXPECT_FALSE(playerOpen(*player, image.data(), uint32_t(image.size()), reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(out.starts, 0);
    EXPECT_EQ(player->open, 0);
    playerPlay(*player);
    EXPECT_EQ(player->playing.load(), 0u);
    EXPECT_EQ(player->muted.load(), 1u);
    std::vector<float> block(2 * 256, 1.0f);
    playerRender(player.get(), block.data(), 256);
    EXPECT_TRUE(allZero(block));
    playerClose(*player);
    EXPECT_EQ(out.closes, 0);
}
