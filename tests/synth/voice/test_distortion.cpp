#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>
#include "tests/support/signal_probe.h"
#include "synth/voice/distortion.h"
#include "synth/voice/math.h"

namespace {

class DistortionTest : public ::testing::Test {
protected:
    void SetUp() override { rateConstantsInit(44100); }

    // mode, input gain, parameter 1, parameter 2
    static void setup(Distortion& d, float mode, float inGain, float param1, float param2) {
        const float p[4] = {mode, inGain, param1, param2};
        distSetup(d, p);
    }

    static Distortion make(float mode, float inGain, float param1, float param2) {
        Distortion d{};
        distInit(d);
        setup(d, mode, inGain, param1, param2);
        return d;
    }

    static float one(Distortion&& d, float x) {
        distProcessMono(d, &x, &x, 1);
        return x;
    }
};

TEST_F(DistortionTest, ClipAndOverdrive) {
    Distortion clip = make(2, 32, 128, 64);
    const std::vector<float> x = probe::sine(440.0, 512, 3.0);
    std::vector<float> y(512);
    distProcessMono(clip, x.data(), y.data(), 512);
    for (size_t i = 0; i < y.size(); ++i) ASSERT_EQ(y[i], std::fabs(x[i]) <= 1 ? x[i] : std::copysign(1.0f, x[i])) << i;
    for (float inGain : {0.0f, 32.0f, 100.0f, 127.0f}) {
        EXPECT_NEAR(one(make(1, inGain, 128, 64), 1.0f), 1.0f, 1e-4f) << inGain;
        EXPECT_NEAR(one(make(1, inGain, 128, 64), -1.0f), -1.0f, 1e-4f) << inGain;
    }
    for (double v = -60.0; v <= 60.0; v += 0.00731) ASSERT_NEAR(fastAtan(float(v)), std::atan(double(float(v))), 2e-5) << v;
    for (float big : {1e10f, 3e38f, std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(fastAtan(-big), -1.57079637f);  // where a^4 alone would overflow
    }
}

TEST_F(DistortionTest, CrusherClampsSymmetricallyAndFlipsAfterTheClamp) {
    EXPECT_EQ(one(make(3, 32, 0, 0), 0.5f), 0.5f);  // 16-bit quantisation
    EXPECT_EQ(one(make(3, 32, 0, 0), 1.5f / 32768.0f), 2.0f / 32768.0f);
    EXPECT_EQ(one(make(3, 32, 0, 0), -5.0f), -32767.0f / 32768.0f);  // never -1
    EXPECT_EQ(one(make(3, 32, 1, 0), 0.5f), 64.0f * 257.0f / 32768.0f);  // steps of 257
    EXPECT_EQ(one(make(3, 32, 0, 1), -5.0f), -32255.0f / 32768.0f);  // -32767, bit 9 flipped
    for (float x : {0.3f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
        EXPECT_TRUE(std::isfinite(one(make(3, 127, 128, 127), x)));  // the product wraps
    }
}

}  // namespace
