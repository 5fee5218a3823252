#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>
#include "signal_probe.h"
#include "synth/voice/distortion.h"
#include "synth/voice/math.h"

namespace {

class DistortionTest : public ::testing::Test {
protected:
    void SetUp() override { rateConstantsInit(44100); }

    static Distortion make(float mode, float inGain, float param1, float param2) {
        Distortion d{};
        distInit(d);
        const float p[4] = {mode, inGain, param1, param2};
        distSetup(d, p);
        return d;
    }

    static void setup(Distortion& d, float mode, float inGain, float param1, float param2) {
        const float p[4] = {mode, inGain, param1, param2};
        distSetup(d, p);
    }

    static float one(Distortion& d, float x) {
        float y;
        distProcessMono(d, &x, &y, 1);
        return y;
    }
};

TEST_F(DistortionTest, ClipPassesTheUnitRangeAndFlattensLouderPeaks) {
    Distortion d = make(2, 32, 128, 64);
    const std::vector<float> x = probe::sine(440.0, 512);
    std::vector<float> y(512);
    distProcessMono(d, x.data(), y.data(), 512);
    EXPECT_EQ(x, y);
    const std::vector<float> loud = probe::sine(440.0, 512, 3.0);
    distProcessMono(d, loud.data(), y.data(), 512);
    for (size_t i = 0; i < y.size(); ++i) {
        ASSERT_LE(std::fabs(y[i]), 1.0f);
        if (std::fabs(loud[i]) >= 1.0f) {
            ASSERT_EQ(std::fabs(y[i]), 1.0f);
        }
    }
    // Bias shifts the signal before the clip: bias 96 adds 0.5.
    Distortion biased = make(2, 32, 128, 96);
    EXPECT_EQ(one(biased, 0.25f), 0.75f);
    EXPECT_EQ(one(biased, 0.75f), 1.0f);
}

TEST_F(DistortionTest, OverdriveMapsOneToAboutOne) {
    for (float inGain : {0.0f, 32.0f, 64.0f, 100.0f, 127.0f}) {
        Distortion d = make(1, inGain, 128, 64);
        EXPECT_NEAR(one(d, 1.0f), 1.0f, 1e-4f) << inGain;
        EXPECT_NEAR(one(d, -1.0f), -1.0f, 1e-4f) << inGain;
        EXPECT_LT(std::fabs(one(d, 0.5f)), 1.0f);
    }
    Distortion half = make(1, 32, 64, 64);
    EXPECT_NEAR(one(half, 1.0f), 0.5f, 1e-4f);
}

TEST_F(DistortionTest, FastAtanStaysNearTheTrueArctangent) {
    for (double v = -60.0; v <= 60.0; v += 0.00731) {
        const float x = static_cast<float>(v);
        ASSERT_NEAR(fastAtan(x), std::atan(static_cast<double>(x)), 2e-5) << x;
    }
    EXPECT_EQ(fastAtan(0.0f), 0.0f);
    EXPECT_NEAR(fastAtan(1.0f), 0.7853982, 2e-5);
    // Large finite inputs stay at plus or minus pi/2 (a^4 would overflow).
    for (float big : {1e8f, 1e10f, 1e20f, 3e38f}) {
        EXPECT_EQ(fastAtan(big), 1.57079637f) << big;
        EXPECT_EQ(fastAtan(-big), -1.57079637f) << big;
    }
    EXPECT_EQ(fastAtan(std::numeric_limits<float>::infinity()), 1.57079637f);
}

TEST_F(DistortionTest, CrusherQuantisesClampsSymmetricallyAndFlipsAfterTheClamp) {
    Distortion plain = make(3, 32, 0, 0);  // 16-bit quantisation
    EXPECT_EQ(one(plain, 0.5f), 0.5f);
    EXPECT_EQ(one(plain, 1.5f / 32768.0f), 2.0f / 32768.0f);  // ties to even
    EXPECT_EQ(one(plain, 2.5f / 32768.0f), 2.0f / 32768.0f);
    EXPECT_EQ(one(plain, -5.0f), -32767.0f / 32768.0f);      // never -1
    EXPECT_EQ(one(plain, 5.0f), 32767.0f / 32768.0f);

    Distortion coarse = make(3, 32, 1, 0);  // steps of 257
    EXPECT_EQ(one(coarse, 0.5f), 64.0f * 257.0f / 32768.0f);

    Distortion flipped = make(3, 32, 0, 1);  // flips bit 9
    EXPECT_EQ(one(flipped, 0.0f), 512.0f / 32768.0f);
    EXPECT_EQ(one(flipped, -5.0f), -32255.0f / 32768.0f);  // -32767 with bit 9 set

    // Huge steps wrap the product; NaN and infinity come out as clamped
    // values (the flip of bits 9 to 15 can move -32767 down to -33279).
    Distortion wide = make(3, 127, 128, 127);
    for (float x : {0.3f, -0.7f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
        const float y = one(wide, x);
        EXPECT_TRUE(std::isfinite(y));
        EXPECT_LE(std::fabs(y), 33279.0f / 32768.0f);
    }
}

TEST_F(DistortionTest, DecimatorHoldsBitExactValues) {
    Distortion d = make(4, 32, 0, 0);  // a step of 2^22: one new value every 1024 samples
    EXPECT_EQ(d.holdStep, 1u << 22);
    std::vector<float> x(3000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(i) * 0.001f;
    const uint32_t payload = 0x7FC01234u;
    std::memcpy(&x[1023], &payload, sizeof payload);
    std::vector<float> y(x.size());
    distProcessMono(d, x.data(), y.data(), static_cast<int32_t>(x.size()));
    for (size_t i = 0; i < 1023; ++i) ASSERT_EQ(y[i], 0.0f);
    for (size_t i = 1023; i < 2047; ++i) ASSERT_EQ(std::memcmp(&y[i], &payload, 4), 0) << i;
    EXPECT_EQ(y[2047], x[2047]);

    // Rate 128 gives a step of 0: the last held value stays.
    setup(d, 4, 32, 128, 0);
    EXPECT_EQ(d.holdStep, 0u);
    distProcessMono(d, x.data(), y.data(), 1000);
    for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(y[i], x[2047]);
    Distortion fresh = make(4, 32, 128, 0);
    EXPECT_EQ(one(fresh, 0.9f), 0.0f);
}

TEST_F(DistortionTest, ModeIsTheLowFourBitsAndTenToFifteenAreOff) {
    const std::vector<float> x = probe::sine(3000.0, 256);
    for (float mode : {0.0f, 10.0f, 12.0f, 15.0f, 16.0f}) {
        Distortion d = make(mode, 100, 100, 100);
        std::vector<float> y(256, 5.0f);
        distProcessMono(d, x.data(), y.data(), 256);
        EXPECT_EQ(x, y) << mode;
        std::vector<float> stereo(512, 5.0f), out(512, 1.0f);
        distProcessStereo(d, stereo.data(), out.data(), 256);
        EXPECT_EQ(stereo, out) << mode;
    }
    // 21 is 5 in its low bits: the low-pass.
    Distortion wrapped = make(21, 32, 40, 0);
    Distortion lowPass = make(5, 32, 40, 0);
    std::vector<float> a(256), b(256);
    distProcessMono(wrapped, x.data(), a.data(), 256);
    distProcessMono(lowPass, x.data(), b.data(), 256);
    EXPECT_EQ(a, b);
    EXPECT_LT(probe::rms(a), 0.2 * probe::rms(x));
}

TEST_F(DistortionTest, StereoFiltersKeepOneSideEachAndTheirStates) {
    const std::vector<float> tone = probe::sine(200.0, 1024);
    std::vector<float> in(2048, 0.0f);
    for (size_t i = 0; i < 1024; ++i) in[2 * i] = tone[i];  // right stays silent
    std::vector<float> out(2048);

    Distortion d = make(5, 32, 60, 20);
    distProcessStereo(d, in.data(), out.data(), 512);
    for (size_t i = 0; i < 512; ++i) ASSERT_EQ(out[2 * i + 1], 0.0f);
    const float low = d.filterA.low, band = d.filterA.band;
    EXPECT_NE(low, 0.0f);

    // A spell in another mode leaves the filter states as they were.
    setup(d, 2, 32, 128, 64);
    distProcessStereo(d, in.data() + 1024, out.data() + 1024, 256);
    EXPECT_EQ(d.filterA.low, low);
    EXPECT_EQ(d.filterA.band, band);
    setup(d, 5, 32, 60, 20);
    distProcessStereo(d, in.data() + 1024, out.data() + 1024, 512);

    // The same as filtering the left side alone without interruption.
    Distortion mono = make(5, 32, 60, 20);
    std::vector<float> ref(1024);
    distProcessMono(mono, tone.data(), ref.data(), 1024);
    for (size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(out[2 * i], ref[i]) << i;
        ASSERT_EQ(out[2 * i + 1], 0.0f) << i;
    }
}

TEST_F(DistortionTest, StereoDecimatorHoldsPairs) {
    Distortion d = make(4, 32, 127, 0);  // wraps on nearly every sample
    std::vector<float> in(512), out(512);
    for (size_t i = 0; i < 512; ++i) in[i] = static_cast<float>(i);
    distProcessStereo(d, in.data(), out.data(), 256);
    int held = 0;
    for (size_t i = 0; i < 256; ++i) {
        if (out[2 * i] == 0.0f && out[2 * i + 1] == 0.0f) continue;  // nothing held yet
        ASSERT_EQ(out[2 * i + 1], out[2 * i] + 1.0f) << i;  // left and right of one pair
        if (out[2 * i] != in[2 * i]) ++held;
    }
    EXPECT_GT(held, 5);
    EXPECT_LT(held, 40);
}

}  // namespace
