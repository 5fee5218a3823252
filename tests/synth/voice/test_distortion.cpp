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

TEST_F(DistortionTest, DecimatorHoldsBitExactValues) {
    Distortion d = make(4, 32, 0, 0);  // step 2^22: a new value every 1024 samples
    std::vector<float> x(3000), y(3000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = float(i);
    const uint32_t payload = 0x7FC01234u;
    std::memcpy(&x[1023], &payload, 4);
    distProcessMono(d, x.data(), y.data(), 3000);
    EXPECT_EQ(y[1022], 0.0f);
    for (size_t i = 1023; i < 2047; ++i) ASSERT_EQ(std::memcmp(&y[i], &payload, 4), 0) << i;
    setup(d, 4, 32, 128, 0);  // rate 128: step 0, holds the last value
    distProcessMono(d, x.data(), y.data(), 1000);
    for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(y[i], 2047.0f);
}

TEST_F(DistortionTest, ModeIsTheLowFourBitsAndTenToFifteenAreOff) {
    const std::vector<float> x = probe::sine(3000.0, 256);
    for (float mode : {10.0f, 15.0f, 16.0f}) {
        Distortion d = make(mode, 100, 100, 100);
        std::vector<float> y(256), stereo(512, 5.0f), out(512);
        distProcessMono(d, x.data(), y.data(), 256);
        distProcessStereo(d, stereo.data(), out.data(), 256);
        EXPECT_TRUE(x == y && stereo == out) << mode;
    }
    Distortion wrapped = make(21, 32, 40, 0);  // 5: low-pass
    std::vector<float> y(256);
    distProcessMono(wrapped, x.data(), y.data(), 256);
    EXPECT_LT(probe::rms(y), 0.2 * probe::rms(x));
}

TEST_F(DistortionTest, StereoFiltersKeepOneSideEachAndTheirStates) {
    const std::vector<float> tone = probe::sine(200.0, 1024);
    std::vector<float> in(2048, 0.0f), out(2048), ref(1024);
    for (size_t i = 0; i < 1024; ++i) in[2 * i] = tone[i];
    Distortion d = make(5, 32, 60, 20);
    distProcessStereo(d, in.data(), out.data(), 512);
    setup(d, 2, 32, 128, 64);  // a spell in another mode leaves the states alone
    distProcessStereo(d, in.data() + 1024, out.data() + 1024, 256);
    setup(d, 5, 32, 60, 20);
    distProcessStereo(d, in.data() + 1024, out.data() + 1024, 512);
    Distortion mono = make(5, 32, 60, 20);
    distProcessMono(mono, tone.data(), ref.data(), 1024);
    for (size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(out[2 * i], ref[i]) << i;
        ASSERT_EQ(out[2 * i + 1], 0.0f) << i;
    }
}

}  // namespace
