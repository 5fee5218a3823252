// The window thread drives the player while the output thread renders:
// open, play, replay (the reset under the output's lock), position queries,
// volume and wake, stop, play from the ended state, close, over many cycles.
// Meant for the ThreadSanitizer build (make test-thread), where any unguarded
// access between the two threads is reported; in the plain build it checks
// that every cycle leaves the output closed and the thread gone.
#include <gtest/gtest.h>
#include <SDL.h>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "audio/sound_output.h"
#include "audio_test_song.h"
#include "tests/player/render_test_support.h"

namespace {

using namespace std::chrono_literals;

// A song of one short note (about 60 ms), so that it ends, and the player
// enters the ended state, within a cycle.
std::vector<uint8_t> blipImage() { return writeOrFail(audibleSource({{0, 60, 100}, {12, 60, 0}})); }

// Waits until the output thread has written rendered bytes past the first
// buffer of silence, or gives up after limit.
bool waitForRender(const SoundOutput& output, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (output.streamBuffer.written.load() > streamBufferBytes) return true;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

}  // namespace

TEST(Threads, WindowThreadDrivesThePlayerWhileTheOutputRenders) {
    const std::vector<uint8_t> songs[] = {testSongImage(), blipImage()};
    auto output = std::make_unique<SoundOutput>();
    output->portDriver = "dummy";
    TestPlayer test;
    ModulePlayer& player = *test.player;
    playerInit(player, test.synth.get(), soundOutputPort(*output));
    int32_t cyclesThatRendered = 0;
    for (int cycle = 0; cycle < 40; ++cycle) {
        const std::vector<uint8_t>& image = songs[cycle % 2];
        std::string reason;
        // Every other cycle opens over the open module (open closes it first).
        if (cycle % 4 == 3) playerClose(player);
        ASSERT_TRUE(playerOpen(player, image.data(), uint32_t(image.size()), reason)) << reason;
        ASSERT_TRUE(soundOutputRunning(*output)) << output->lastError;
        playerPlay(player);
        soundOutputWake(*output);
        const bool rendered = waitForRender(*output, 2s);
        cyclesThatRendered += rendered;
        // Play again while the output thread renders: the reset runs under
        // the output's lock.
        playerPlay(player);
        soundOutputSetVolume(*output, 0.5f + 0.01f * float(cycle));
        playerPositionMs(player);
        std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 3 * 15));
        playerStop(player);
        playerPositionMs(player);
        if (cycle % 2 == 1) {
            // The blip has ended by now: play from the ended state, where the
            // render entry is inside the synthesizer.
            playerPlay(player);
            std::this_thread::sleep_for(90ms);
            playerPlay(player);
            soundOutputWake(*output);
        }
        if (cycle % 3 == 0) playerStop(player);
        playerClose(player);
        EXPECT_FALSE(soundOutputRunning(*output));
        EXPECT_EQ(output->threadRunning.load(), 0);
    }
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    // The cycles did overlap with rendering (not one silent open after another).
    EXPECT_GE(cyclesThatRendered, 30);
}
