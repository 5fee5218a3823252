// The refill pass and the position query with scripted play positions: no
// device and no thread, the test moves the play position by hand.
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>
#include "audio/sound_output.h"

namespace {

// A render callback that hands out a prepared list of samples and records
// the requests.
struct ScriptedSource {
    std::vector<float> samples;
    size_t next = 0;
    std::vector<uint32_t> requests;
};

int scriptedRender(void* context, float* dest, uint32_t frames) {
    ScriptedSource& source = *static_cast<ScriptedSource*>(context);
    source.requests.push_back(frames);
    for (uint32_t i = 0; i < 2 * frames; ++i)
        dest[i] = source.next < source.samples.size() ? source.samples[source.next++] : 0.0f;
    return 0;
}

int16_t sampleAt(const SoundOutput& output, uint32_t byteOffset) {
    return output.streamBuffer.samples[byteOffset / 2];
}

struct ScriptedOutput : ::testing::Test {
    std::unique_ptr<SoundOutput> output = std::make_unique<SoundOutput>();
    ScriptedSource source;
    void SetUp() override { soundOutputPrepare(*output, scriptedRender, &source); }
    void playAt(uint32_t position) { streamBufferSetPlayPosition(output->streamBuffer, position); }
};

}  // namespace

// The conversion itself: test_pcm. Here the output applies it with its volume.
TEST_F(ScriptedOutput, ConvertsAtTheVolume) {
    // Volume 0.5: the scale is 16384.
    soundOutputSetVolume(*output, 0.5f);
    source.samples = {1.0f, -1.0f, 0.5f, 3.0f / 16384, 2.5f, -0.25f, 1.0f / 32768, 0.0f};
    playAt(32);  // eight frames: the eight samples above, then silence
    soundOutputRefill(*output);
    const std::vector<int16_t> half = {16384, -16384, 8192, 3, 32600, -4096, 0, 0};
    for (uint32_t i = 0; i < half.size(); ++i)
        EXPECT_EQ(sampleAt(*output, 2 * i), half[i]) << "sample " << i;
}

TEST_F(ScriptedOutput, WrappedRefillFillsTwoRegions) {
    // Sample k of the request becomes the 16-bit value k + 1.
    for (int k = 0; k < 768; ++k) source.samples.push_back(float(k + 1) / 32768.0f);
    output->lastWritePos = 64992;
    const uint32_t bytesBefore = output->bytesWritten;
    playAt(1000);
    soundOutputRefill(*output);

    // a = 992; distance = 992 - 64,992 + 65,536 = 1,536 bytes = 384 frames.
    ASSERT_EQ(source.requests, std::vector<uint32_t>{384});
    EXPECT_EQ(output->lockedBytes1, 544u);
    EXPECT_EQ(output->lockedBytes2, 992u);
    EXPECT_EQ(output->lastWritePos, 992u);
    EXPECT_EQ(output->bytesWritten - bytesBefore, 1536u);
    // 272 samples at the end of the buffer, the next 496 at its start.
    for (uint32_t k = 0; k < 272; ++k)
        ASSERT_EQ(sampleAt(*output, 64992 + 2 * k), int16_t(k + 1)) << "region 1 sample " << k;
    for (uint32_t k = 0; k < 496; ++k)
        ASSERT_EQ(sampleAt(*output, 2 * k), int16_t(273 + k)) << "region 2 sample " << k;
    // Nothing on either side was touched.
    EXPECT_EQ(sampleAt(*output, 992), 0);
    EXPECT_EQ(sampleAt(*output, 64990), 0);
}

TEST_F(ScriptedOutput, RefillsOnlyPastA32ByteBoundary) {
    output->lastWritePos = 992;
    const uint32_t bytesBefore = output->bytesWritten;
    for (uint32_t position : {992u, 996u, 1020u}) {
        playAt(position);
        soundOutputRefill(*output);
    }
    EXPECT_TRUE(source.requests.empty());
    EXPECT_EQ(output->bytesWritten, bytesBefore);
    EXPECT_EQ(output->lastWritePos, 992u);

    playAt(1027);  // past 1,024: eight frames
    soundOutputRefill(*output);
    EXPECT_EQ(source.requests, std::vector<uint32_t>{8});
    EXPECT_EQ(output->lastWritePos, 1024u);
}

TEST_F(ScriptedOutput, PlayedBytesCountsFromTheBufferOfSilence) {
    // Before anything is written the byte playing is -65,536 + position,
    // while the position is below 16,384 ...
    for (uint32_t position : {0u, 4u, 1000u, 16380u}) {
        playAt(position);
        EXPECT_EQ(soundOutputPlayedBytes(*output), -65536 + int32_t(position));
    }
    // ... and from 16,384 on the previous answer is repeated.
    playAt(16384);
    EXPECT_EQ(soundOutputPlayedBytes(*output), -65536 + 16380);
    playAt(40000);
    EXPECT_EQ(soundOutputPlayedBytes(*output), -65536 + 16380);

    // A random walk of play positions with refills now and then: the answer
    // is the true position (bytes played so far - 65,536) whenever the play
    // position is within 16,384 bytes of the last write, never decreases and
    // never exceeds bytesWritten + 16,383.
    std::mt19937 random(7);
    SetUp();
    uint32_t played = 0;
    int32_t previous = soundOutputPlayedBytes(*output);
    for (int step = 0; step < 2000; ++step) {
        played += 4 * (random() % 2048);
        playAt(played % streamBufferBytes);
        if (random() % 3 == 0) soundOutputRefill(*output);
        const int32_t answer = soundOutputPlayedBytes(*output);
        const uint32_t sinceWrite = (played % streamBufferBytes - output->lastWritePos) % streamBufferBytes;
        if (sinceWrite < 16384) ASSERT_EQ(answer, int32_t(played) - 65536) << "step " << step;
        else ASSERT_EQ(answer, previous) << "step " << step;
        ASSERT_GE(answer, previous) << "step " << step;
        ASSERT_LE(answer, int32_t(output->bytesWritten) + 16383) << "step " << step;
        previous = answer;
        // Keep within one buffer of the writes, as the device does.
        if ((played % streamBufferBytes - output->lastWritePos) % streamBufferBytes > 50000)
            soundOutputRefill(*output);
    }
}

TEST_F(ScriptedOutput, DeviceNeverOvertakesTheRefill) {
    for (int k = 0; k < 8; ++k) source.samples.push_back(float(k + 1) / 32768.0f);
    StreamBuffer& buffer = output->streamBuffer;
    std::vector<uint8_t> chunk(4096);
    // Nothing refilled: the device gets the buffer of silence but its last
    // frame; the request that wanted it counts as an underrun.
    for (int i = 0; i < 16; ++i) streamBufferConsume(buffer, chunk.data(), 4096);
    EXPECT_EQ(soundOutputUnderruns(*output), 1u);
    EXPECT_EQ(buffer.underrunBytes.load(), 4u);
    EXPECT_EQ(streamBufferPlayPosition(buffer), 65532u);
    streamBufferConsume(buffer, chunk.data(), 4096);
    EXPECT_EQ(soundOutputUnderruns(*output), 2u);
    EXPECT_EQ(streamBufferPlayPosition(buffer), 65532u);

    // The late refill takes the largest step there is, not a lap taken for none.
    soundOutputRefill(*output);
    ASSERT_EQ(source.requests, std::vector<uint32_t>{16376});
    // The held frame of silence plays, then the first rendered frames, in order.
    std::vector<uint8_t> next(12);
    streamBufferConsume(buffer, next.data(), 12);
    EXPECT_EQ(next, (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0}));
    EXPECT_EQ(soundOutputUnderruns(*output), 2u);
}

// The device's own gaps, from when it asks: chunks of 1,000 frames, request
// times in frames of wall time. The first 45 requests (a second) only set
// the clock.
TEST(DeviceClock, CountsRequestsThatCameTooLateToKeepPlaying) {
    struct Case {
        const char* name;
        std::vector<double> requestFrames;
        uint32_t gaps;
        uint64_t gapFrames;
    };
    std::vector<double> steady, burst, drifting, late;
    for (int i = 0; i < 100; ++i) steady.push_back(1000.0 * i + (i % 3) * 300);  // jitter under a chunk
    burst = {0, 0, 0};  // three at once, then a long wait
    for (int i = 40; i < 100; ++i) burst.push_back(1000.0 * i);
    for (int i = 0; i < 30000; ++i) drifting.push_back(1000.1 * i);  // 100 ppm slower for ten minutes
    for (int i = 0; i < 100; ++i) late.push_back(1000.0 * i + (i >= 60 ? 2500 : 0) + (i >= 80 ? 1800 : 0));
    const std::vector<Case> cases = {
        {"steady with jitter", steady, 0, 0},
        {"an uneven start", burst, 0, 0},
        {"a slow device clock", drifting, 0, 0},
        {"two late requests", late, 2, 1500 + 800},
    };
    for (const Case& c : cases) {
        DeviceClock clock;
        deviceClockReset(clock, 1000);
        for (double at : c.requestFrames) deviceClockTick(clock, int64_t(at * 1e9 / 44100), 1000);
        EXPECT_EQ(clock.gaps.load(), c.gaps) << c.name;
        EXPECT_NEAR(double(clock.gapFrames.load()), double(c.gapFrames), 2.0) << c.name;
    }
}
