#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>
#include "tests/support/signal_probe.h"
#include "synth/simd/dist_lanes.h"
#include "synth/simd/lane_targets.h"
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

// The shaping modes in lanes on every SIMD target against distProcessMono,
// bit for bit: ties and near-ties of the crusher's rounding, the ends of its
// conversion's range (2^31 is out, -2^31 is in), infinities and NaN.
TEST_F(DistortionTest, ShapingLanesMatchTheScalarModesOnEveryTarget) {
    const float settings[8][4] = {{3, 32, 0, 0}, {3, 127, 128, 127}, {3, 40, 64, 64}, {3, 0, 1, 5},
                                  {1, 32, 128, 64}, {1, 100, 64, 30}, {2, 32, 128, 64}, {2, 90, 20, 100}};
    const float tick = 1.0f / 32768.0f;
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> inputs = {0.5f * tick, 1.5f * tick, 2.5f * tick, -0.5f * tick, -2.5f * tick,
                                       0.49999997f * tick, 65536.0f, 65535.996f, -65536.0f, -65536.01f,
                                       1e-45f, 3e38f, -0.3f, inf, -inf, std::nanf("")};
    constexpr int32_t lanes = 16;
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        DistLanes batch{};
        batch.lanes = batch.rowStride = lanes;
        Distortion units[lanes];
        for (int32_t j = 0; j < lanes; ++j) {
            units[j] = make(settings[j % 8][0], settings[j % 8][1], settings[j % 8][2], settings[j % 8][3]);
            distLanesSet(batch, j, units[j]);
        }
        std::vector<float> rows;
        for (float x : inputs) rows.insert(rows.end(), lanes, x);
        distLanesProcess(batch, rows.data(), int32_t(inputs.size()));
        for (int32_t j = 0; j < lanes; ++j)
            for (size_t k = 0; k < inputs.size(); ++k) {
                const float want = one(Distortion(units[j]), inputs[k]);
                ASSERT_EQ(std::memcmp(&want, &rows[k * lanes + size_t(j)], sizeof want), 0)
                    << laneTargetName(target) << " setting " << j % 8 << " input " << inputs[k];
            }
    }
    laneTargetUse(0);
}

}  // namespace
