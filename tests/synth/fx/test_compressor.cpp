#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>
#include "synth/fx/compressor.h"
#include "synth/output_filter.h"
#include "synth/fx/compressor_detect_lanes.h"
#include "synth/simd/compressor_lanes.h"
#include "synth/simd/lane_targets.h"

namespace {

// Parameters as floats: mode, link, auto gain, look-ahead, threshold, ratio,
// attack, release, output gain. Threshold 64 is 0.25, output gain 64 is 1.
struct CompParams {
    float mode = 1, link = 0, autoGain = 0, lookahead = 0, threshold = 64, ratio = 64;
    float attack = 0, release = 0, outGain = 64;
};

std::unique_ptr<Compressor> makeCompressor(const CompParams& c) {
    auto comp = std::make_unique<Compressor>();
    compressorInit(*comp);
    const float p[9] = {c.mode, c.link, c.autoGain, c.lookahead, c.threshold,
                        c.ratio, c.attack, c.release, c.outGain};
    compressorSetup(*comp, p);
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

// The lane engine's one-loop compressor (and the output filter before it)
// against the two stages one after the other: every detector, with noise and
// the silence after it.
TEST(Compressor, FusedLoopMatchesTheStagesOneAfterTheOther) {
    constexpr int32_t lengths[] = {128, 1, 77, 280};
    for (int32_t detector = 0; detector < 4; ++detector) {
        for (const bool withCut : {false, true}) {
            CompParams c;
            c.mode = detector % 2 == 0 ? 1 : 2;
            c.link = detector < 2 ? 0 : 1;
            c.threshold = 10;
            c.lookahead = 3;
            c.attack = c.release = 10;
            auto staged = makeCompressor(c), fused = makeCompressor(c);
            OutputCut cutS{outputCutCoef(5), outputCutCoef(withCut ? 120 : 127), 0, 0, 0, 0};
            OutputCut cutF = cutS;
            std::mt19937 noise(detector);
            std::uniform_real_distribution<float> u(-2.0f, 2.0f);
            std::vector<float> levels(2 * 280);
            for (int32_t f = 0; f < 300; ++f) {
                const int32_t n = lengths[f % 4];
                std::vector<float> a(2 * n, 0.0f);
                if (f < 200) for (float& v : a) v = u(noise);
                std::vector<float> b = a;
                for (int32_t i = 0; i < n && withCut; ++i) outputCutPair(cutS, a.data() + 2 * i);
                compressorProcess(*staged, a.data(), levels.data(), n);
                compressorProcessFused(*fused, b.data(), levels.data(), n, withCut ? &cutF : nullptr);
                ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << detector << " " << f;
                ASSERT_EQ(std::memcmp(staged.get(), fused.get(), sizeof(Compressor)), 0) << detector << " " << f;
                ASSERT_EQ(std::memcmp(&cutS, &cutF, sizeof cutS), 0);
            }
        }
    }
}

// Channels' compressors on the lane engine (the detectors and the gains of
// all together in lanes), on every SIMD target, against each one's
// compressorProcess: every detector, gains falling and rising (loud noise, then silence).
TEST(Compressor, GainLanesMatchEachChannelsCompressor) {
    constexpr int32_t count = 9;  // one 16-lane vector and a second one
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        std::vector<std::unique_ptr<Compressor>> scalar, lanes;
        for (int32_t k = 0; k < count; ++k) {
            CompParams c;
            c.mode = float(1 + k % 2);
            c.link = float(k / 2 % 2);
            c.threshold = float(10 * k);
            c.lookahead = float(k);
            c.attack = c.release = float(5 + 10 * k);
            c.ratio = float(20 + 12 * k);
            scalar.push_back(makeCompressor(c));
            lanes.push_back(makeCompressor(c));
        }
        std::mt19937 noise(target);
        std::uniform_real_distribution<float> u(-2.0f, 2.0f);
        std::vector<float> levels(2 * 280);
        for (int32_t f = 0; f < 120; ++f) {
            const int32_t n = f % 3 == 0 ? 280 : 128;
            std::vector<std::vector<float>> a(count, std::vector<float>(2 * n, 0.0f));
            if (f < 60) for (auto& buffer : a) for (float& v : buffer) v = u(noise);
            std::vector<std::vector<float>> b = a;
            std::vector<float> levelRows(size_t(n * compressorLevelLanes(count)));
            std::vector<Compressor*> units;
            std::vector<float*> buffers;
            for (int32_t k = 0; k < count; ++k) {
                compressorProcess(*scalar[k], a[k].data(), levels.data(), n);
                units.push_back(lanes[k].get());
                buffers.push_back(b[k].data());
            }
            compressorDetectLanes(units.data(), buffers.data(), levelRows.data(), count, n);
            for (int32_t k = 0; k < count; ++k) compressorDelay(*lanes[k], b[k].data(), n);
            compressorGainLanes(units.data(), levelRows.data(), buffers.data(), count, n);
            for (int32_t k = 0; k < count; ++k) {
                ASSERT_EQ(std::memcmp(a[k].data(), b[k].data(), a[k].size() * sizeof(float)), 0)
                    << laneTargetName(target) << " " << k << " " << f;
                ASSERT_EQ(std::memcmp(scalar[k].get(), lanes[k].get(), sizeof(Compressor)), 0);
            }
        }
    }
    laneTargetUse(0);
}

}  // namespace
