#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <limits>
#include "synth/voice/math.h"

namespace {

TEST(RoundInt, TiesToEvenAndOutOfRange) {
    EXPECT_EQ(roundInt(2.5f), 2);
    EXPECT_EQ(roundInt(3.5f), 4);
    EXPECT_EQ(roundInt(0.5f), 0);
    EXPECT_EQ(roundInt(1.5f), 2);
    EXPECT_EQ(roundInt(-2.5f), -2);
    EXPECT_EQ(roundInt(-3.5f), -4);
    EXPECT_EQ(roundInt(-0.5f), 0);
    EXPECT_EQ(roundInt(2.4999998f), 2);
    EXPECT_EQ(roundInt(-7.6f), -8);
    EXPECT_EQ(roundInt(2147483520.0f), 2147483520);   // the largest float below 2^31
    EXPECT_EQ(roundInt(-2147483648.0f), INT32_MIN);    // in range, exact
    EXPECT_EQ(roundInt(2147483648.0f), INT32_MIN);
    EXPECT_EQ(roundInt(1e10f), INT32_MIN);
    EXPECT_EQ(roundInt(-1e10f), INT32_MIN);
    EXPECT_EQ(roundInt(std::numeric_limits<float>::infinity()), INT32_MIN);
    EXPECT_EQ(roundInt(std::numeric_limits<float>::quiet_NaN()), INT32_MIN);
}

TEST(FastSin, WithinThePolynomialErrorEverywhere) {
    double worst = 0;
    for (int32_t i = -40000; i <= 40000; ++i) {
        const float a = static_cast<float>(i) * 0.0025f;  // -100 .. 100
        worst = std::max(worst, std::fabs(static_cast<double>(fastSin(a)) - std::sin(static_cast<double>(a))));
    }
    // About 6.5e-6 from the polynomial, plus the single-precision 2 pi over 16 cycles.
    EXPECT_LT(worst, 1.2e-5);
    EXPECT_GT(worst, 1e-6);  // it is the polynomial, not a library sine
    EXPECT_EQ(fastSin(0.0f), 0.0f);
    EXPECT_NEAR(fastSin(1.57079637f), 1.0, 1e-5);
    EXPECT_NEAR(fastSin(-1.57079637f), -1.0, 1e-5);
}

TEST(RateConstants, PerSampleRate) {
    struct Expect { int32_t rate, frameLength; };
    const Expect cases[] = {{44100, 128}, {48000, 140}, {22050, 64}, {96000, 279}};
    for (const Expect& c : cases) {
        const RateConstants rates = rateConstantsFor(c.rate);
        EXPECT_EQ(rates.frameLength, c.frameLength) << c.rate;
        EXPECT_FLOAT_EQ(rates.rateScale, 44100.0f / static_cast<float>(c.rate));
        // A whole cycle at note 60 is 130.81279 Hz at every rate (note 69: 220 Hz).
        const double cycleHz = rates.pitchBase * c.rate / 4294967296.0;
        EXPECT_NEAR(cycleHz, 130.81279, 130.81279 * 1e-6) << c.rate;
        EXPECT_NEAR(cycleHz * std::pow(2.0, 9.0 / 12.0), 220.0, 220.0 * 1e-6);
        const double w = 2.0 * 3.14159265358979 * 150.0 / c.rate;
        EXPECT_NEAR(rates.boostSin, std::sin(w), 1e-7);
        EXPECT_NEAR(rates.boostCos, std::cos(w), 1e-7);
    }
}

}  // namespace
