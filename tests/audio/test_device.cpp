// The sound output through SDL: a failed start and a thread that does not
// end in time. (Start, play, stop and close cycles from the window thread
// are in test_threads.cpp; captures compared with the render in
// tests/cli/test_play.cpp and tests/audio/busy.)
#include <gtest/gtest.h>
#include <SDL.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include "audio/sound_output.h"
#include "audio_test_song.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t seed = 12345;

}  // namespace

TEST(FailedStart, LeavesNothingBehind) {
    auto output = std::make_unique<SoundOutput>();
    soundOutputClose(*output);  // never started: nothing to do
    std::string reason;
    EXPECT_FALSE(soundOutputStart(*output, playerRender, nullptr, "nonexistent", &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(output->lastError, reason);
    EXPECT_FALSE(soundOutputRunning(*output));
    EXPECT_EQ(output->threadRunning.load(), 0);
    EXPECT_FALSE(output->thread.joinable());
    EXPECT_EQ(output->device, 0u);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    soundOutputClose(*output);  // safe after a failed start

    // The record works again afterwards.
    TestPlayer test;
    const std::vector<uint8_t> image = testSongImage();  // the player reads it until closed
    testPlayerStart(test, image, seed);
    ASSERT_TRUE(soundOutputStart(*output, playerRender, test.player.get(), "dummy", &reason)) << reason;
    EXPECT_TRUE(soundOutputRunning(*output));
    soundOutputClose(*output);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

namespace {

// A render callback that holds the output thread until released.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool entered = false;
};

int blockingRender(void* context, float* dest, uint32_t frames) {
    Gate& gate = *static_cast<Gate*>(context);
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.entered = true;
    gate.changed.notify_all();
    gate.changed.wait(lock, [&] { return gate.open; });
    for (uint32_t i = 0; i < 2 * frames; ++i) dest[i] = 0.0f;
    return 0;
}

}  // namespace

TEST(StuckThread, CloseGivesUpAfterASecondAndKeepsTheRecordAlive) {
    auto output = std::make_unique<SoundOutput>();
    Gate gate;
    std::string reason;
    ASSERT_TRUE(soundOutputStart(*output, blockingRender, &gate, "dummy", &reason)) << reason;
    {
        std::unique_lock<std::mutex> lock(gate.mutex);
        ASSERT_TRUE(gate.changed.wait_for(lock, 5s, [&] { return gate.entered; }));
    }
    const auto before = std::chrono::steady_clock::now();
    soundOutputClose(*output);
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, 950ms);
    EXPECT_LT(waited, 5s);
    EXPECT_FALSE(soundOutputRunning(*output));
    // The thread is still inside its pass: a new start must not clear what it uses.
    EXPECT_EQ(output->threadRunning.load(), 1);
    EXPECT_FALSE(soundOutputStart(*output, blockingRender, &gate, "dummy", &reason));
    EXPECT_NE(reason.find("not ended"), std::string::npos) << reason;

    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        gate.open = true;
    }
    gate.changed.notify_all();
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (output->threadRunning.load() != 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(2ms);
    ASSERT_EQ(output->threadRunning.load(), 0);
    ASSERT_TRUE(soundOutputStart(*output, blockingRender, &gate, "dummy", &reason)) << reason;
    soundOutputClose(*output);
}
