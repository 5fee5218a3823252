#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "synth/fx/mod_delay.h"
#include "synth/voice/math.h"

namespace {

// A modulated delay on its own lines. Base delays are 8 samples per step on
// 2048-sample lines, 248 per step on 32768-sample lines.
struct DelayRig {
    std::vector<float> left, right;
    ModDelay unit{};

    DelayRig(int32_t length, std::initializer_list<float> p) : left(length), right(length) {
        modDelayBind(unit, left.data(), right.data(), length - 1);
        modDelayClear(unit);
        modDelaySetup(unit, std::vector<float>(p).data());
    }
    // A mono signal through the chorus on both sides, in frames of 128.
    std::vector<float> chorus(const std::vector<float>& mono) {
        std::vector<float> out(mono.size() * 2);
        for (size_t i = 0; i < mono.size(); ++i) out[2 * i] = out[2 * i + 1] = mono[i];
        for (size_t at = 0; at < mono.size(); at += 128)
            modDelayProcessStereo(unit, out.data() + 2 * at, std::min<int32_t>(128, mono.size() - at));
        return out;
    }
};

std::vector<float> click(size_t length) {
    std::vector<float> v(length, 0.0f);
    v[0] = 1.0f;
    return v;
}

TEST(ModDelay, AmountAtMiddleBypassesAndFreezesTheLines) {
    DelayRig rig(2048, {64, 100, 10, 20, 100, 100, 30});
    for (int32_t i = 0; i < 2048; ++i) rig.left[i] = static_cast<float>(i);
    rig.unit.writeIndex = 77;
    const std::vector<float> lines = rig.left;
    std::vector<float> buffer(256, 0.25f), mix(256, 0.5f);
    modDelayProcessStereo(rig.unit, buffer.data(), 128);
    modDelayProcessSend(rig.unit, buffer.data(), mix.data(), 128);
    EXPECT_EQ(buffer, std::vector<float>(256, 0.25f));
    EXPECT_EQ(mix, std::vector<float>(256, 0.5f));
    EXPECT_EQ(rig.left, lines);
    EXPECT_EQ(rig.unit.writeIndex, 77);
    EXPECT_EQ(rig.unit.phase, 0u);
}

TEST(ModDelay, AmountZeroIsWetAndInvertedAndFeedbackZeroAlternates) {
    // 16 samples on the right, one less on the left; no feedback.
    DelayRig inverted(2048, {0, 64, 2, 2, 0, 0, 64});
    const std::vector<float> a = inverted.chorus(click(64));
    for (int32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(a[2 * i + 1], i == 16 ? -1.0f : 0.0f) << i;
        EXPECT_EQ(a[2 * i], i == 15 ? -1.0f : 0.0f) << i;
    }
    DelayRig alternating(2048, {128, 0, 2, 2, 0, 0, 64});
    const std::vector<float> b = alternating.chorus(click(80));
    for (int32_t k = 1; k <= 4; ++k) EXPECT_EQ(b[2 * 16 * k + 1], k % 2 ? 1.0f : -1.0f) << k;
}

TEST(ModDelay, ZeroDelayReadsTheOldestSampleOnTheRightAndOneYoungerOnTheLeft) {
    DelayRig rig(2048, {128, 64, 0, 0, 0, 0, 64});
    for (int32_t i = 0; i < 2048; ++i) rig.left[i] = rig.right[i] = static_cast<float>(i);
    rig.unit.writeIndex = 500;
    float buffer[2] = {0.0f, 0.0f};
    modDelayProcessStereo(rig.unit, buffer, 1);
    EXPECT_EQ(buffer[1], 500.0f);  // written one full line length ago
    EXPECT_EQ(buffer[0], 501.0f);
}

// A ramp through the fully wet chorus comes out as t - delay(t): the delay of
// each side, sample by sample. Base 128, depth 512, rate 127 (about 19.2 Hz).
void measureDelays(float phase, std::vector<double>& left, std::vector<double>& right) {
    DelayRig rig(2048, {128, 64, 16, 16, 127, 64, phase});
    std::vector<float> ramp(8192);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i);
    const std::vector<float> out = rig.chorus(ramp);
    for (size_t i = 1024; i < ramp.size(); ++i) {
        left.push_back(i - out[2 * i]);
        right.push_back(i - out[2 * i + 1]);
    }
}

TEST(ModDelay, TriangleLfoSweepsTheDelayWithTheRightSideOffset) {
    std::vector<double> sameL, sameR, halfL, halfR;
    measureDelays(64, sameL, sameR);
    measureDelays(0, halfL, halfR);
    std::vector<size_t> peaks;
    for (size_t i = 0; i < sameL.size(); ++i) {
        EXPECT_NEAR(sameR[i] - sameL[i], 1.0, 1e-3);  // one LFO, left one sample shorter
        // Half a cycle apart: the two sweeps add up to the depth.
        EXPECT_NEAR((halfR[i] - 128) + (halfL[i] - 127), 512.0, 0.01);
        if (i > 0 && i + 1 < sameR.size() && sameR[i] > 639.5 && sameR[i] >= sameR[i - 1] &&
            sameR[i] > sameR[i + 1])
            peaks.push_back(i);
        EXPECT_TRUE(sameR[i] > 127.99 && sameR[i] < 640.01) << i;
    }
    ASSERT_GE(peaks.size(), 2u);
    // Rate 127: 2^32 / 1,869,866 = 2296.94 samples per cycle.
    EXPECT_NEAR(static_cast<double>(peaks[1] - peaks[0]), 2296.94, 1.5);
}

TEST(ModDelay, GlobalDelayEchoesAtItsBaseDelayAndKeepsRingingOnSilence) {
    DelayRig rig(32768, {128, 96, 1, 2, 0, 0, 64});  // 248 and 496 samples, feedback 0.5
    std::vector<float> mix(16 * 256, 0.0f), bus(128, 0.0f);
    for (int32_t f = 0; f < 16; ++f) {
        bus[0] = f == 0 ? 1.0f : 0.0f;  // one click, then a silent bus
        modDelayProcessSend(rig.unit, bus.data(), mix.data() + f * 256, 128);
    }
    std::vector<std::pair<int32_t, float>> left, right;
    for (int32_t i = 0; i < 16 * 128; ++i) {
        if (mix[2 * i] != 0.0f) left.push_back({i, mix[2 * i]});
        if (mix[2 * i + 1] != 0.0f) right.push_back({i, mix[2 * i + 1]});
    }
    const std::vector<std::pair<int32_t, float>> expectRight = {
        {496, 1.0f}, {992, 0.5f}, {1488, 0.25f}, {1984, 0.125f}};
    EXPECT_EQ(right, expectRight);
    ASSERT_EQ(left.size(), 8u);
    EXPECT_EQ(left[0], std::make_pair(247, 1.0f));
    EXPECT_EQ(left[7], std::make_pair(8 * 247, 0.0078125f));
}

}  // namespace
