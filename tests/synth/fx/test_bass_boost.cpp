#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "synth/fx/bass_boost.h"
#include "synth/voice/math.h"
#include "tests/support/signal_probe.h"

namespace {

BassBoost boostAt(float amount) {
    rateConstantsInit(44100);
    BassBoost b{};
    bassBoostSetup(b, amount);
    return b;
}

// Settled gain of a sine (same on both sides, right side measured) over the
// second half of one second.
double measuredGain(float amount, double hz) {
    BassBoost b = boostAt(amount);
    const std::vector<float> tone = probe::sine(hz, 44100, 0.25);
    std::vector<float> buffer(2 * tone.size()), right;
    for (size_t i = 0; i < tone.size(); ++i) buffer[2 * i] = buffer[2 * i + 1] = tone[i];
    for (int32_t at = 0; at < 44100; at += 128) bassBoostProcess(b, buffer.data() + 2 * at, std::min(128, 44100 - at));
    for (size_t i = tone.size() / 2; i < tone.size(); ++i) right.push_back(buffer[2 * i + 1]);
    return probe::toneAmplitude(right, hz) / 0.25;
}

TEST(BassBoost, DirectCurrentSettlesAtTheSquareOfTheShelfFactor) {
    for (float amount : {0.6f, 64.0f, 127.0f}) {
        BassBoost b = boostAt(amount);
        std::vector<float> buffer(256);
        for (int32_t frame = 0; frame < 400; ++frame) {
            std::fill(buffer.begin(), buffer.end(), 1.0f);
            bassBoostProcess(b, buffer.data(), 128);
        }
        const double expected = std::pow(2.0, amount / 64.0);  // A^2
        EXPECT_NEAR(buffer[254], expected, 2e-3 * expected) << amount;
        EXPECT_NEAR(buffer[255], expected, 2e-3 * expected) << amount;
    }
}

TEST(BassBoost, CornerGetsHalfTheDecibelsAndHighsPassAtUnity) {
    for (float amount : {1.0f, 64.0f, 127.0f}) {
        const double A = std::pow(2.0, amount / 128.0);
        EXPECT_NEAR(measuredGain(amount, 150.0), A, 0.003 * A) << amount;
        EXPECT_NEAR(measuredGain(amount, 8000.0), 1.0, 0.003) << amount;
    }
}

}  // namespace
