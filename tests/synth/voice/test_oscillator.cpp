#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "tests/support/signal_probe.h"
#include "synth/seed.h"
#include "synth/voice/math.h"
#include "synth/voice/oscillator.h"

namespace {

class OscillatorTest : public ::testing::Test {
protected:
    // p: mode, ring, transpose, detune, colour, volume; n samples rendered frame by frame.
    std::vector<float> render(std::vector<float> p, float note, size_t n, uint32_t phase = 0, float fill = 0) {
        oscInit(osc, seeds);
        osc.note = note;
        oscSetup(osc, p.data());
        osc.phase = phase;
        std::vector<float> out(n, fill);
        for (size_t at = 0; at < n; at += 128) oscRender(osc, &out[at], int32_t(std::min<size_t>(128, n - at)));
        return out;
    }

    SeedSource seeds;
    Oscillator osc{};
};

TEST_F(OscillatorTest, ModeBitsColourWrapAndRing) {
    for (float v : render({8, 0, 64, 64, 64, 128}, 60, 256, 0, 0.25f)) ASSERT_EQ(v, 0.25f);
    for (float v : render({128, 0, 64, 64, 64, 128}, 60, 256, 0, 0.25f)) ASSERT_EQ(v, 0.25f);
    EXPECT_EQ(render({9, 0, 64, 64, 64, 128}, 60, 512), render({1, 0, 64, 64, 64, 128}, 60, 512));
    for (float colour : {0.0f, 128.0f}) {  // bp = 0: constant -g pulse, falling saw
        for (float v : render({2, 0, 64, 64, colour, 64}, 60, 1000)) ASSERT_EQ(v, -0.5f);
        const std::vector<float> y = render({1, 0, 64, 64, colour, 64}, 60, 3000);  // 8.9 cycles
        int rises = 0;
        for (size_t i = 1; i < y.size(); ++i) rises += y[i] > y[i - 1];
        EXPECT_GE(rises, 8);
        EXPECT_LE(rises, 18);
    }
    for (float mode : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) {  // ring on an empty buffer
        for (float v : render({mode, 1, 64, 64, 64, 128}, 60, 256)) ASSERT_EQ(v, 0.0f) << mode;
    }
}

TEST_F(OscillatorTest, FmOnAnEmptyBufferIsAPlainSine) {
    const std::vector<float> y = render({5, 0, 64, 64, 64, 128}, 69, 4096);
    const double step = osc.increment / 4294967296.0;
    for (size_t i = 0; i < y.size(); ++i) ASSERT_NEAR(y[i], std::sin(2 * probe::pi * std::fmod(i * step, 1.0)), 2e-5) << i;
}

TEST_F(OscillatorTest, SawPitchMeasuredFromTheSignal) {
    EXPECT_NEAR(probe::crossingFrequency(render({1, 0, 64, 64, 127, 128}, 69, 44100)), 220.0, 0.01);
    EXPECT_NEAR(probe::crossingFrequency(render({1, 0, 64, 64, 127, 128}, 60, 44100)), 130.81, 0.01);
    render({1, 0, 64, 64, 64, 128}, 148, 1);
    EXPECT_LT(osc.increment, 0x80000000u);
    osc.note = 149;
    oscUpdatePitch(osc);
    EXPECT_EQ(osc.increment, 0x80000000u);  // saturates at half a cycle
}

TEST_F(OscillatorTest, BoxFilteredSawHasZeroMeanAndLessAliasing) {
    const std::vector<float> y = render({1, 0, 64, 80, 127, 128}, 96, 8192);  // about 1.1 kHz
    double sum = 0;
    for (float v : y) sum += v;
    EXPECT_LT(std::fabs(sum / y.size()), 2e-3);
    std::vector<float> naive(y.size());  // the same wave sampled where each step ends
    const double bp = 127.0 / 128.0, inc = osc.increment / 4294967296.0, f0 = inc * probe::rate;
    for (size_t i = 0; i < naive.size(); ++i) {
        const double p = std::fmod(i * inc, 1.0);
        naive[i] = float(p < bp ? -1 + 2 * p / bp : 1 - 2 * (p - bp) / (1 - bp));
    }
    auto aliasing = [&](const std::vector<float>& x) {  // energy away from the harmonics
        double total = 0;
        for (double f = 20.0; f < 20000.0; f += 37.0) {
            if (std::fabs(f / f0 - std::round(f / f0)) * f0 >= 30.0) total += std::pow(probe::toneAmplitude(x, f), 2);
        }
        return total;
    };
    EXPECT_LT(aliasing(y) * 4.0, aliasing(naive));  // measured: 8 times less
}

// Far below the audible range the increment is under 2^9 and frac() of it is 0.
TEST_F(OscillatorTest, VeryLowNotesStayFinite) {
    for (float mode : {1.0f, 2.0f}) {
        for (uint32_t start : {0x80000000u - 300u, 0xFFFFFF00u}) {  // crossing the breakpoint, the cycle end
            const std::vector<float> y = render({mode, 0, 0, 64, 64, 128}, -64.0f, 1024, start);
            ASSERT_LT(osc.increment, 512u);
            for (float v : y) ASSERT_LE(std::fabs(v), 1.0f);  // false for NaN
        }
    }
    const std::vector<float> y = render({1, 0, 64, 64, 1e-5f, 128}, 60, 2048, 0xFFFFFF00u);
    EXPECT_GT(osc.breakpoint, 0u);  // under 2^9: bp = 0 as well
    EXPECT_TRUE(probe::allFinite(y));
}

}  // namespace
