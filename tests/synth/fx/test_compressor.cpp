#include <gtest/gtest.h>
#include <cmath>
#include <memory>
#include <random>
#include <vector>
#include "synth/fx/compressor.h"

namespace {

// Parameters as floats: mode, link, auto gain, look-ahead, threshold, ratio,
// attack, release, output gain. Threshold 64 is 0.25, output gain 64 is 1.
struct CompParams {
    float mode = 1, link = 0, autoGain = 0, lookahead = 0, threshold = 64, ratio = 64;
    float attack = 0, release = 0, outGain = 64;
};

void setUp(Compressor& comp, const CompParams& c) {
    const float p[9] = {c.mode, c.link, c.autoGain, c.lookahead, c.threshold,
                        c.ratio, c.attack, c.release, c.outGain};
    compressorSetup(comp, p);
}

std::unique_ptr<Compressor> makeCompressor(const CompParams& c) {
    auto comp = std::make_unique<Compressor>();
    compressorInit(*comp);
    setUp(*comp, c);
    return comp;
}

// A stereo signal in place, in frames of 128 pairs.
void run(Compressor& comp, std::vector<float>& stereo) {
    std::vector<float> levels(2 * 128);
    const int32_t pairs = static_cast<int32_t>(stereo.size() / 2);
    for (int32_t at = 0; at < pairs; at += 128)
        compressorProcess(comp, stereo.data() + 2 * at, levels.data(), std::min(128, pairs - at));
}

std::vector<float> constant(int32_t pairs, float left, float right) {
    std::vector<float> v(2 * pairs);
    for (int32_t i = 0; i < pairs; ++i) {
        v[2 * i] = left;
        v[2 * i + 1] = right;
    }
    return v;
}

TEST(Compressor, LookaheadOf255StaysInsideItsLine) {
    // Global bytes are not limited to 128: 255 must not run past the line.
    CompParams c;
    c.lookahead = 255;
    auto comp = makeCompressor(c);
    std::vector<float> signal = constant(compressorLookLength + 300, 0.1f, 0.1f);
    run(*comp, signal);
    EXPECT_LT(comp->lookIndex, compressorLookLength);
}

TEST(Compressor, LookaheadShortenedBelowItsPositionWrapsTheSameOnEveryPath) {
    // A patch change can shorten the look-ahead while the line position is
    // past its new end: the next pair still goes through that slot, then the
    // position wraps. The lane engine's line (quiet material: gains hold)
    // once took a negative stretch there and wrote before its buffer.
    CompParams c;
    c.mode = 2;  // an RMS detector: the lane engine runs the line on its own
    c.lookahead = 10;  // 441 pairs
    auto plain = makeCompressor(c);
    auto lanes = makeCompressor(c);
    std::vector<float> levels(2 * 128);
    std::vector<float> a = constant(128, 0.01f, -0.01f), b = a;
    for (int32_t frame = 0; frame < 2; ++frame) {
        compressorProcess(*plain, a.data(), levels.data(), 128);
        compressorProcessFused(*lanes, b.data(), levels.data(), 128);
    }
    c.lookahead = 1;  // 44 pairs, the position at 256
    setUp(*plain, c);
    setUp(*lanes, c);
    constexpr int32_t guard = 64;
    std::vector<float> x(2 * (guard + 128 + guard), 7.0f), y = x;
    for (int32_t i = 0; i < 2 * 128; ++i) x[2 * guard + i] = y[2 * guard + i] = 0.02f * float(i % 9);
    compressorProcess(*plain, x.data() + 2 * guard, levels.data(), 128);
    compressorProcessFused(*lanes, y.data() + 2 * guard, levels.data(), 128);
    EXPECT_EQ(x, y);
    for (int32_t i = 0; i < 2 * guard; ++i) ASSERT_EQ(y[i], 7.0f);
    EXPECT_EQ(plain->lookIndex, lanes->lookIndex);
}

TEST(Compressor, RmsSilenceAfterLoudMaterialStaysFiniteAndRecovers) {
    for (float link : {0.0f, 1.0f}) {
        CompParams c;
        c.mode = 2;
        c.link = link;
        c.threshold = 0;
        c.attack = c.release = 10;
        auto comp = makeCompressor(c);
        std::mt19937 noise(7);
        std::uniform_real_distribution<float> loud(-4.0f, 4.0f);
        std::vector<float> signal(2 * 44100);
        for (size_t i = 0; i < signal.size() / 2; ++i) signal[i] = loud(noise);  // then silence
        run(*comp, signal);
        for (float v : signal) ASSERT_TRUE(std::isfinite(v));
        // A running sum driven below zero: the frame gets zero levels and the
        // gain heads back to 1 instead of turning into NaN.
        comp->rmsSumL = comp->rmsSumR = -1e-6f;
        comp->gainL = comp->gainR = 0.5f;
        std::vector<float> quiet = constant(128, 0.0f, 0.0f);
        run(*comp, quiet);
        for (float g : {comp->gainL, comp->gainR}) {
            EXPECT_GT(g, 0.5f);
            EXPECT_LE(g, 1.0f);
        }
    }
}

}  // namespace
