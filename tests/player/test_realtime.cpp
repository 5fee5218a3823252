// The render path allocates nothing and takes no lock: a whole busy song,
// from its first step to the end of its tails, rendered in odd-sized chunks
// through the render entry (and so through sequencerStep,
// synthProcessCommands and synthRender) with every allocation and every
// lock counted, on the rendering thread and on a worker thread that shares
// the frames. (The sound output adds only its outputLock around it.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "../support/busy_song.h"
#include "player/module_player.h"
#include "player/offline_render.h"
#include "player/pcm.h"
#include "player/render_length.h"
#include "synth/frame_crew.h"
#include "synth/synth.h"

TEST(AllocationCounter, SeesNewMallocAndLocksOnlyWhileCounting) {
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
    EXPECT_GE(counted, allocationCountingCoversMalloc() ? 2u : 1u);
    if (allocationCountingCoversMalloc()) {
        EXPECT_EQ(locksCounted(), 1u);
    }

    allocationCountingStart();
    const uint64_t idle = allocationCountingStop();
    auto* after = new int(3);
    delete after;
    EXPECT_EQ(idle, 0u);
    EXPECT_EQ(allocationCountingStop(), 0u);
}

TEST(RealTime, AWholeSongWithEveryUnitRendersWithoutAllocatingOrLocking) {
    std::vector<uint8_t> image;
    std::string reason;
    ASSERT_TRUE(writeModule(busy::source(), image, reason)) << reason;
    auto synth = std::make_unique<Synth>();
    auto player = std::make_unique<ModulePlayer>();
    const uint32_t seed = 1;
    ASSERT_TRUE(offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, reason)) << reason;
    FrameCrew crew;
    frameCrewStart(crew, *synth, 2);

    // Buffers the size of the largest request the sound output makes.
    constexpr uint32_t maxChunk = 16376;
    std::vector<float> block(2 * maxChunk);
    std::vector<int16_t> pcm(2 * maxChunk);
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(20.0));
    const uint32_t chunks[] = {450, 1, 127, 129, 4096, 16376, 333};
    uint32_t mostVoices = 0;
    bool channel16Sounded = false;
    uint64_t frames = 0;

    allocationCountingStart();
    for (size_t k = 0; !renderLengthDone(length) && frames < 60u * 44100u; ++k) {
        const uint32_t n = chunks[k % (sizeof chunks / sizeof chunks[0])];
        const bool wasPlaying = player->playing.load() != 0;
        const uint32_t before = player->framesRendered;
        playerRender(player.get(), block.data(), n);
        const uint32_t endOffset = wasPlaying && player->playing.load() == 0
                                       ? player->songEndFrame - before : songNotEnded;
        convertToPcm16(block.data(), pcm.data(), 2 * n, 32768.0f);
        renderLengthFeed(length, pcm.data(), n, endOffset);
        frames += n;
        uint32_t voices = 0;
        for (int32_t v = 0; v < synthVoiceCount; ++v) {
            voices += synth->voiceChannel[v] >= 0;
            channel16Sounded = channel16Sounded || synth->voiceChannel[v] == 15;
        }
        mostVoices = voices > mostVoices ? voices : mostVoices;
    }
    const uint64_t allocated = allocationCountingStop();
    frameCrewStop(crew);

    EXPECT_EQ(allocated, 0u) << (allocationCountingCoversMalloc() ? "operator new or malloc"
                                                                  : "operator new");
    EXPECT_EQ(locksCounted(), 0u) << "the render path took a lock";
    // The render covered what it should: the whole song, its tails to
    // silence, all 32 voices at once and channel 16 speaking.
    EXPECT_TRUE(length.songEnded);
    EXPECT_TRUE(renderLengthDone(length));
    EXPECT_LT(length.tailFrames, tailSecondsToFrames(20.0)) << "the tail did not die away";
    EXPECT_EQ(mostVoices, 32u);
    EXPECT_TRUE(channel16Sounded);
}
