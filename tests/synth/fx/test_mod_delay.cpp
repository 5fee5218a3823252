#include <gtest/gtest.h>
#include <cmath>
#include <memory>
#include <vector>
#include "synth/fx/mod_delay.h"
#include "synth/voice/math.h"

namespace {

// A modulated delay on its own lines. Base delays are 8 samples per step on
// the 2048-sample chorus lines and 248 per step on the 32768-sample delay lines.
struct DelayRig {
    std::vector<float> left, right;
    ModDelay unit{};

    explicit DelayRig(int32_t length) : left(length, 0.0f), right(length, 0.0f) {
        rateConstantsInit(44100);
        modDelayBind(unit, left.data(), right.data(), length - 1);
        modDelayClear(unit);
    }
    // amount, feedback, delay L, delay R, rate, depth, phase
    void setup(float amount, float feedback, float delayL, float delayR, float rate = 0,
               float depth = 0, float phase = 64) {
        const float p[7] = {amount, feedback, delayL, delayR, rate, depth, phase};
        modDelaySetup(unit, p);
    }
    // Runs a mono signal through the chorus (same on both sides) in frames of 128.
    std::vector<float> chorus(const std::vector<float>& mono) {
        std::vector<float> out(mono.size() * 2);
        for (size_t i = 0; i < mono.size(); ++i) out[2 * i] = out[2 * i + 1] = mono[i];
        for (size_t at = 0; at < mono.size(); at += 128) {
            const int32_t n = static_cast<int32_t>(std::min<size_t>(128, mono.size() - at));
            modDelayProcessStereo(unit, out.data() + 2 * at, n);
        }
        return out;
    }
};

std::vector<float> impulse(size_t length, float height = 1.0f) {
    std::vector<float> v(length, 0.0f);
    v[0] = height;
    return v;
}

TEST(ModDelay, AmountAtMiddleBypassesAndFreezesTheLines) {
    DelayRig rig(2048);
    for (int32_t i = 0; i < 2048; ++i) rig.left[i] = rig.right[i] = static_cast<float>(i);
    rig.unit.writeIndex = 77;
    rig.unit.phase = 12345;
    rig.setup(64, 100, 10, 20, 100, 100, 30);
    const std::vector<float> lineBefore = rig.left;
    std::vector<float> buffer(256);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = 0.001f * static_cast<float>(i);
    const std::vector<float> before = buffer;
    modDelayProcessStereo(rig.unit, buffer.data(), 128);
    std::vector<float> out(256, 0.5f);
    modDelayProcessSend(rig.unit, before.data(), out.data(), 128);
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(out, std::vector<float>(256, 0.5f));
    EXPECT_EQ(rig.left, lineBefore);
    EXPECT_EQ(rig.unit.writeIndex, 77);
    EXPECT_EQ(rig.unit.phase, 12345u);
}

TEST(ModDelay, AmountZeroIsFullyWetAndInverted) {
    DelayRig rig(2048);
    rig.setup(0, 64, 2, 2);  // 16 samples, no feedback
    const std::vector<float> out = rig.chorus(impulse(64));
    for (int32_t i = 0; i < 64; ++i) {
        // The right side delays by the base delay, the left by one sample less.
        EXPECT_EQ(out[2 * i + 1], i == 16 ? -1.0f : 0.0f) << i;
        EXPECT_EQ(out[2 * i], i == 15 ? -1.0f : 0.0f) << i;
    }
}

TEST(ModDelay, FeedbackZeroAlternatesThePolarityOfTheRepeats) {
    DelayRig rig(2048);
    rig.setup(128, 0, 2, 2);  // wet 1, dry 0, feedback -1
    const std::vector<float> out = rig.chorus(impulse(80));
    EXPECT_EQ(out[2 * 16 + 1], 1.0f);
    EXPECT_EQ(out[2 * 32 + 1], -1.0f);
    EXPECT_EQ(out[2 * 48 + 1], 1.0f);
    EXPECT_EQ(out[2 * 64 + 1], -1.0f);
    EXPECT_EQ(out[2 * 17 + 1], 0.0f);
}

TEST(ModDelay, ZeroDelayReadsTheOldestSampleOnTheRightAndOneYoungerOnTheLeft) {
    DelayRig rig(2048);
    for (int32_t i = 0; i < 2048; ++i) {
        rig.left[i] = static_cast<float>(i);
        rig.right[i] = static_cast<float>(-i);
    }
    rig.unit.writeIndex = 500;
    rig.setup(128, 64, 0, 0);
    float buffer[2] = {0.0f, 0.0f};
    modDelayProcessStereo(rig.unit, buffer, 1);
    EXPECT_EQ(buffer[1], -500.0f);  // written one full line length ago
    EXPECT_EQ(buffer[0], 501.0f);
    EXPECT_EQ(rig.unit.writeIndex, 501);
}

// A ramp through the fully wet chorus comes out as t - delay(t), so the
// delay of each side can be read off sample by sample.
struct MeasuredDelays {
    std::vector<double> left, right;
};

MeasuredDelays measureDelays(float phaseParam, int32_t length) {
    DelayRig rig(2048);
    rig.setup(128, 64, 16, 16, 127, 64, phaseParam);  // base 128, depth 512, 19.2 Hz
    std::vector<float> ramp(length);
    for (int32_t i = 0; i < length; ++i) ramp[i] = static_cast<float>(i);
    const std::vector<float> out = rig.chorus(ramp);
    MeasuredDelays d;
    for (int32_t i = 1024; i < length; ++i) {
        d.left.push_back(i - out[2 * i]);
        d.right.push_back(i - out[2 * i + 1]);
    }
    return d;
}

TEST(ModDelay, PhaseParameterOffsetsTheRightLfo) {
    const MeasuredDelays same = measureDelays(64, 4096);
    const MeasuredDelays opposite = measureDelays(0, 4096);
    double lowest = 1e9, highest = 0;
    for (size_t i = 0; i < same.left.size(); ++i) {
        // Phase 64: one LFO, the left side one sample shorter.
        EXPECT_NEAR(same.right[i] - same.left[i], 1.0, 1e-3);
        // Phase 0: half a cycle apart, so the two sweeps add up to a constant.
        EXPECT_NEAR((opposite.right[i] - 128) + (opposite.left[i] - 127), 512.0, 0.01);
        lowest = std::min(lowest, same.right[i]);
        highest = std::max(highest, same.right[i]);
    }
    EXPECT_NEAR(lowest, 128.0, 0.5);   // base delay
    EXPECT_NEAR(highest, 640.0, 0.5);  // base + depth
}

TEST(ModDelay, LfoRateMatchesTheConversion) {
    // Rate 127 is about 19.2 Hz: 2^32 / phaseInc samples per cycle.
    const MeasuredDelays d = measureDelays(64, 8192);
    std::vector<size_t> peaks;
    for (size_t i = 1; i + 1 < d.right.size(); ++i)
        if (d.right[i] > 639.0 && d.right[i] >= d.right[i - 1] && d.right[i] > d.right[i + 1])
            peaks.push_back(i);
    ASSERT_GE(peaks.size(), 2u);
    const double phaseInc = std::nearbyint(std::exp2(10.0 * (127.0 / 128.0 - 1.0)) * 1973915.5);
    const double period = 4294967296.0 / phaseInc;
    EXPECT_NEAR(static_cast<double>(peaks[1] - peaks[0]), period, 1.5);
    EXPECT_NEAR(44100.0 / period, 19.2, 0.05);
}

TEST(ModDelay, GlobalDelayEchoesAtItsBaseDelayAndKeepsRingingOnSilence) {
    DelayRig rig(32768);
    rig.setup(128, 96, 1, 2);  // 248 and 496 samples, feedback 0.5
    const int32_t frames = 16;
    std::vector<float> mix(frames * 128 * 2, 0.0f);
    std::vector<float> bus(128, 0.0f);
    for (int32_t f = 0; f < frames; ++f) {
        bus[0] = f == 0 ? 1.0f : 0.0f;  // one click, then a silent bus
        modDelayProcessSend(rig.unit, bus.data(), mix.data() + f * 256, 128);
    }
    auto echoes = [&](int32_t side) {
        std::vector<std::pair<int32_t, float>> found;
        for (int32_t i = 0; i < frames * 128; ++i)
            if (mix[2 * i + side] != 0.0f) found.push_back({i, mix[2 * i + side]});
        return found;
    };
    const auto right = echoes(1);
    ASSERT_EQ(right.size(), 4u);
    EXPECT_EQ(right[0], std::make_pair(496, 1.0f));
    EXPECT_EQ(right[1], std::make_pair(992, 0.5f));
    EXPECT_EQ(right[3], std::make_pair(1984, 0.125f));
    const auto left = echoes(0);
    ASSERT_EQ(left.size(), 8u);
    EXPECT_EQ(left[0], std::make_pair(247, 1.0f));
    EXPECT_EQ(left[1], std::make_pair(494, 0.5f));
}

TEST(ModDelay, ConversionsAtTheEnds) {
    DelayRig rig(32768);
    rig.setup(0, 128, 127, 0, 0, 127, 0);
    EXPECT_EQ(rig.unit.wet, -1.0f);
    EXPECT_EQ(rig.unit.dry, 0.0f);
    EXPECT_EQ(rig.unit.feedback, 1.0f);
    EXPECT_EQ(rig.unit.delayL, 31496);
    EXPECT_EQ(rig.unit.depth, 1015u);
    EXPECT_EQ(rig.unit.phaseOffset, INT32_MIN);
    EXPECT_NEAR(rig.unit.phaseInc * 44100.0 / 4294967296.0, 0.0198, 0.0005);
    rig.setup(96, 64, 0, 0, 64, 0, 128);
    EXPECT_EQ(rig.unit.dry, 0.5f);
    EXPECT_EQ(rig.unit.phaseOffset, INT32_MIN);  // 2^31 kept in 32 bits
    EXPECT_NEAR(rig.unit.phaseInc * 44100.0 / 4294967296.0, 0.633, 0.001);
}

}  // namespace
