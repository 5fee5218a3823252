#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "synth/fx/bass_boost.h"
#include "synth/voice/math.h"

namespace {

BassBoost boostAt(float amount) {
    rateConstantsInit(44100);
    BassBoost b{};
    bassBoostSetup(b, amount);
    return b;
}

// Steady-state gain of a sine at hz on both sides, measured by correlation
// over whole cycles after the filter has settled.
double measuredGain(BassBoost& b, double hz) {
    const int32_t total = 44100;
    std::vector<float> buffer(2 * total);
    for (int32_t i = 0; i < total; ++i)
        buffer[2 * i] = buffer[2 * i + 1] = static_cast<float>(0.25 * std::sin(2 * M_PI * hz * i / 44100.0));
    for (int32_t at = 0; at < total; at += 128)
        bassBoostProcess(b, buffer.data() + 2 * at, std::min(128, total - at));
    double sinSum = 0, cosSum = 0;
    const int32_t from = total / 2;
    const int32_t cycles = static_cast<int32_t>((total - from) * hz / 44100.0);
    const int32_t count = static_cast<int32_t>(cycles * 44100.0 / hz);
    for (int32_t i = from; i < from + count; ++i) {
        const double w = 2 * M_PI * hz * i / 44100.0;
        sinSum += buffer[2 * i + 1] * std::sin(w);
        cosSum += buffer[2 * i + 1] * std::cos(w);
    }
    return 2.0 * std::hypot(sinSum, cosSum) / count / 0.25;
}

TEST(BassBoost, AmountsRoundingToZeroLeaveTheChannelAndStateUntouched) {
    for (float amount : {0.0f, 0.5f}) {
        BassBoost b = boostAt(amount);
        b.x1L = 0.25f;
        b.y2R = -0.5f;
        const BassBoost before = b;
        std::vector<float> buffer(256);
        for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = std::sin(0.1f * i);
        const std::vector<float> input = buffer;
        bassBoostProcess(b, buffer.data(), 128);
        EXPECT_EQ(buffer, input);
        EXPECT_EQ(b.on, 0);
        EXPECT_EQ(b.x1L, before.x1L);
        EXPECT_EQ(b.y2R, before.y2R);
    }
}

TEST(BassBoost, DirectCurrentSettlesAtTheSquareOfTheShelfFactor) {
    for (float amount : {0.6f, 64.0f, 127.0f}) {
        BassBoost b = boostAt(amount);
        EXPECT_EQ(b.on, amount < 1 ? 1 : static_cast<int32_t>(amount));
        std::vector<float> buffer(2 * 128, 1.0f);
        for (int32_t frame = 0; frame < 400; ++frame) {
            std::fill(buffer.begin(), buffer.end(), 1.0f);
            bassBoostProcess(b, buffer.data(), 128);
        }
        const double expected = std::pow(2.0, amount / 64.0);  // A^2
        EXPECT_NEAR(buffer[254], expected, 2e-3 * expected) << amount;
        EXPECT_NEAR(buffer[255], expected, 2e-3 * expected) << amount;
    }
}

// Magnitude of the bilinear low shelf (slope 1, corner 150 Hz) in double.
double shelfGain(double A, double hz) {
    const double w0 = 2 * M_PI * 150.0 / 44100.0;
    const double cw = std::cos(w0), bs = std::sqrt(2 * A) * std::sin(w0);
    const double b0 = A * ((A + 1) - (A - 1) * cw + bs);
    const double b1 = 2 * A * ((A - 1) - (A + 1) * cw);
    const double b2 = A * ((A + 1) - (A - 1) * cw - bs);
    const double a0 = (A + 1) + (A - 1) * cw + bs;
    const double a1 = -2 * ((A - 1) + (A + 1) * cw);
    const double a2 = (A + 1) + (A - 1) * cw - bs;
    const double w = 2 * M_PI * hz / 44100.0;
    auto mag = [w](double c0, double c1, double c2) {
        return std::hypot(c0 + c1 * std::cos(w) + c2 * std::cos(2 * w),
                          c1 * std::sin(w) + c2 * std::sin(2 * w));
    };
    return mag(b0, b1, b2) / mag(a0, a1, a2);
}

TEST(BassBoost, GainAroundTheCornerFollowsTheShelfAndHighsPassAtUnity) {
    for (float amount : {64.0f, 127.0f}) {
        const double A = std::pow(2.0, amount / 128.0);
        // At the corner a shelf of slope 1 has half its gain in decibels.
        EXPECT_NEAR(shelfGain(A, 150.0), A, 1e-9);
        for (double hz : {60.0, 150.0, 300.0}) {
            BassBoost b = boostAt(amount);
            EXPECT_NEAR(measuredGain(b, hz), shelfGain(A, hz), 0.003 * A) << amount << " " << hz;
        }
        BassBoost high = boostAt(amount);
        EXPECT_NEAR(measuredGain(high, 8000.0), 1.0, 0.003) << amount;
    }
}

}  // namespace
