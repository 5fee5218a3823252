// The sound output through SDL: the disk driver's capture against the
// offline render, the position in real time, a failed start and a thread
// that does not end in time. (Start, play, stop and close cycles from the
// window thread are in test_threads.cpp.)
#include <gtest/gtest.h>
#include <SDL.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include "audio/sound_output.h"
#include "audio_test_song.h"

namespace {

using namespace std::chrono_literals;

std::filesystem::path tempPath(const char* name) {
    return std::filesystem::temp_directory_path() /
           ("wb-audio-" + std::to_string(getpid()) + "-" + name);
}

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Waits until the device has taken at least bytes, or gives up after limit.
bool waitForConsumed(const SoundOutput& output, uint32_t bytes, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (output.streamBuffer.consumed.load() < bytes) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

constexpr uint32_t seed = 12345;

}  // namespace

TEST(DiskDriver, CaptureAfterTheBufferOfSilenceIsTheOfflineRender) {
    const std::vector<uint8_t> image = testSongImage();
    const uint32_t frames = 52000;  // the song and a little of its tail
    const std::vector<int16_t> expected = offlinePcm(image, seed, frames);

    const std::filesystem::path file = tempPath("disk.raw");
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "124", 1);  // 186 ms chunks every 124 ms: 1.5 times real time
    TestPlayer test;
    testPlayerStart(test, image, seed);
    auto output = std::make_unique<SoundOutput>();
    std::string reason;
    ASSERT_TRUE(soundOutputStart(*output, playerRender, test.player.get(), "disk", &reason)) << reason;
    const uint32_t wanted = streamBufferBytes + frames * streamFrameBytes;
    const bool reached = waitForConsumed(*output, wanted + 8192, 10s);
    const uint32_t underruns = soundOutputUnderruns(*output);
    soundOutputClose(*output);
    ASSERT_TRUE(reached);
    EXPECT_EQ(underruns, 0u);

    const std::vector<uint8_t> captured = readFile(file);
    std::filesystem::remove(file);
    // SDL writes silent chunks of its own while the device is still paused
    // (between open and unpause); after them comes the buffer of silence,
    // then the song. The song's first sound places it.
    size_t expectedSound = 0;
    while (expectedSound < expected.size() && expected[expectedSound] == 0) ++expectedSound;
    ASSERT_LT(expectedSound, expected.size());
    size_t capturedSound = 0;
    while (capturedSound + 1 < captured.size() && captured[capturedSound] == 0 && captured[capturedSound + 1] == 0)
        capturedSound += 2;
    const size_t songStart = capturedSound - 2 * expectedSound;
    ASSERT_GE(songStart, size_t(streamBufferBytes));
    // Whole paused chunks of the 8,192 frames the output asks SDL for.
    EXPECT_EQ((songStart - streamBufferBytes) % 32768, 0u) << songStart;
    ASSERT_GE(captured.size(), songStart + 2 * expected.size());
    const uint8_t* song = captured.data() + songStart;
    for (uint32_t i = 0; i < expected.size(); ++i) {
        const int16_t sample = int16_t(uint16_t(song[2 * i] | song[2 * i + 1] << 8));
        ASSERT_EQ(sample, expected[i]) << "sample " << i << " (frame " << i / 2 << ")";
    }
    // The comparison means something only if the song is not silent.
    int32_t peak = 0;
    for (int16_t s : expected) peak = std::max(peak, std::abs(int32_t(s)));
    EXPECT_GT(peak, 3000);
}

TEST(DummyDriver, PositionAdvancesWhilePlaying) {
    const std::vector<uint8_t> image = testSongImage();
    auto output = std::make_unique<SoundOutput>();
    output->portDriver = "dummy";
    TestPlayer test;
    ModulePlayer& player = *test.player;
    playerInit(player, test.synth.get(), soundOutputPort(*output));
    std::string reason;
    ASSERT_TRUE(playerOpen(player, image.data(), uint32_t(image.size()), reason)) << reason;
    ASSERT_TRUE(soundOutputRunning(*output)) << output->lastError;
    playerPlay(player);
    const int32_t first = playerPositionMs(player);
    EXPECT_LT(first, 0);
    EXPECT_GE(first, -372);
    // Half a second of real time moves the position by roughly as much.
    std::this_thread::sleep_for(500ms);
    const int32_t later = playerPositionMs(player);
    EXPECT_GT(later - first, 250);
    EXPECT_LT(later - first, 2000);
    playerStop(player);
    playerClose(player);
}

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
