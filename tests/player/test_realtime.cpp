// The render path allocates nothing and takes no lock: every golden song,
// from its first step to two seconds into its tails, rendered in odd-sized
// chunks through the render entry (and so through sequencerStep,
// synthProcessCommands and synthRender) with every allocation and every
// lock counted, on the rendering thread and on a worker thread that shares
// the frames. The golden songs together reach nearly every line of the
// player and the synthesizer. (The sound output adds only its outputLock.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "player/module_player.h"
#include "player/offline_render.h"
#include "song/song.h"
#include "synth/frame_crew.h"
#include "synth/synth.h"

TEST(AllocationCounter, SeesNewMallocAndLocksOnlyWhileCounting) {
    if (!allocationCountingCoversMalloc()) GTEST_SKIP() << "a sanitizer owns the allocator";
    // Through volatile pointers, so the compiler cannot drop the pair.
    void* (*volatile mallocCall)(size_t) = std::malloc;
    allocationCountingStart();
    auto* boxed = new std::string(100, 'x');
    void* raw = mallocCall(64);
    {
        std::mutex mutex;
        std::lock_guard<std::mutex> guard(mutex);
    }
    const uint64_t counted = allocationCountingStop();
    std::free(raw);
    delete boxed;
    EXPECT_GE(counted, 2u);
    EXPECT_EQ(locksCounted(), 1u);

    allocationCountingStart();
    const uint64_t idle = allocationCountingStop();
    auto* after = new int(3);
    delete after;
    EXPECT_EQ(idle, 0u);
    EXPECT_EQ(allocationCountingStop(), 0u);
}

TEST(RealTime, EveryGoldenSongRendersWithoutAllocatingOrLocking) {
    if (!allocationCountingCoversMalloc()) GTEST_SKIP() << "a sanitizer owns the allocator";
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path("tests/golden/songs"))) {
        if (entry.path().extension() != ".json") continue;
        const std::string name = entry.path().stem().string();
        std::stringstream text;
        text << std::ifstream(entry.path()).rdbuf();
        std::vector<uint8_t> image;
        std::string reason;
        ASSERT_TRUE(buildSongImage(text.str(), entry.path().parent_path(), image, reason)) << name << reason;
        auto synth = std::make_unique<Synth>();
        auto player = std::make_unique<ModulePlayer>();
        const uint32_t seed = 1;
        ASSERT_TRUE(offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, reason)) << reason;
        FrameCrew crew;
        frameCrewStart(crew, *synth, 2);

        // Buffers the size of the largest request the sound output makes.
        constexpr uint32_t maxChunk = 16376;
        std::vector<float> block(2 * maxChunk);
        const uint32_t chunks[] = {450, 1, 127, 129, 4096, 16376, 333};
        uint64_t tail = 0;
        allocationCountingStart();
        for (size_t k = 0; tail < 2 * 44100 && k < 100000; ++k) {
            const uint32_t n = chunks[k % (sizeof chunks / sizeof chunks[0])];
            playerRender(player.get(), block.data(), n);
            if (player->playing.load() == 0) tail += n;
        }
        const uint64_t allocated = allocationCountingStop();
        frameCrewStop(crew);
        EXPECT_EQ(allocated, 0u) << name << ": operator new or malloc";
        EXPECT_EQ(locksCounted(), 0u) << name << ": the render path took a lock";
        EXPECT_GE(tail, 2u * 44100u) << name << ": the song did not end";
    }
}
