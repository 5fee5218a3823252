// Offline rendering and the render length rule.
#include <gtest/gtest.h>

#include "render_test_support.h"

namespace {

// A busy song: two channels, a program change, a tempo change, noise.
ModuleSource busySource() {
    ModuleSource source = audibleSource({{0, 60, 100}, {7, 67, 90}, {50, 60, 0}, {50, 72, 80},
                                         {90, 67, 0}, {130, 72, 0}});
    PatchRecord noisy = audiblePatch();
    noisy.voice[osc2Mode] = 4;
    noisy.voice[osc2Volume] = 50;
    noisy.voice[voicePanning] = 20;
    source.patchBlock = buildPatchBank({audiblePatch(), noisy});
    source.channels[3].notes = {{3, 48, 127}, {40, 50, 127}, {41, 48, 0}, {100, 50, 0}};
    source.channels[3].programs = {{0, 1}};
    source.tempos = {{0, 500000}, {60, 300000}};
    return source;
}

}  // namespace

TEST(OfflineRender, AnyChunkingGivesTheSameFramesAndLength) {
    const ModuleSource source = busySource();
    const LengthResult reference = renderToEnd(source, 4096, 2.0);
    ASSERT_GT(reference.kept.size(), 0u);
    for (uint32_t chunk : {1u, 7u, 128u}) {
        const LengthResult other = renderToEnd(source, chunk, 2.0);
        EXPECT_EQ(other.kept, reference.kept) << "chunk " << chunk;
        EXPECT_EQ(other.songFrames, reference.songFrames);
    }
}

TEST(RenderLength, TailEndsAfterOneSecondOfSilenceOrAtTheLimit) {
    std::vector<int16_t> block(2 * 50000, 0);
    block[2 * 1000 + 1] = 5;  // a right-channel sample still sounds at frame 1000
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(30.0));
    EXPECT_EQ(renderLengthFeed(length, block.data(), 500, songNotEnded), 500u);
    // The song ends at frame 600 of the render (100 into this block); the
    // sample at frame 1000 (500 into it) restarts the second of silence.
    EXPECT_EQ(renderLengthFeed(length, block.data() + 2 * 500, 49500, 100), 501u + 44100u);
    EXPECT_TRUE(renderLengthDone(length));
    EXPECT_EQ(renderLengthFeed(length, block.data(), 10, songNotEnded), 0u);

    renderLengthInit(length, 300);  // the limit comes first
    EXPECT_EQ(renderLengthFeed(length, block.data(), 1000, 200), 500u);
    renderLengthInit(length, 0);  // no tail at all
    EXPECT_EQ(renderLengthFeed(length, block.data(), 1000, 200), 200u);
    renderLengthInit(length, 0);  // a song that ended just after the block
    EXPECT_EQ(renderLengthFeed(length, block.data(), 1000, 1000), 1000u);
    EXPECT_TRUE(renderLengthDone(length));
}
