#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "signal_probe.h"
#include "synth/seed.h"
#include "synth/voice/math.h"
#include "synth/voice/oscillator.h"

namespace {

class OscillatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        rateConstantsInit(44100);
        seedSourceSetFixed(seeds, 1234);
    }

    // p: mode, ring, transpose, detune, colour, volume.
    Oscillator make(std::vector<float> p, float note) {
        Oscillator osc{};
        oscInit(osc, seeds);
        osc.note = note;
        oscSetup(osc, p.data());
        return osc;
    }

    static std::vector<float> render(Oscillator& osc, size_t n, float fill = 0.0f) {
        std::vector<float> out(n, fill);
        for (size_t at = 0; at < n; at += 128) oscRender(osc, &out[at], int32_t(std::min<size_t>(128, n - at)));
        return out;
    }

    SeedSource seeds;
};

TEST_F(OscillatorTest, ModeBitsColourWrapAndRing) {
    for (float mode : {8.0f, 128.0f}) {
        Oscillator off = make({mode, 0, 64, 64, 64, 128}, 60);
        for (float v : render(off, 256, 0.25f)) ASSERT_EQ(v, 0.25f);
    }
    Oscillator nine = make({9, 0, 64, 64, 64, 128}, 60), one = make({1, 0, 64, 64, 64, 128}, 60);
    EXPECT_EQ(render(nine, 512), render(one, 512));

    // Colour 0 and 128 give bp = 0: a constant -g pulse, a falling saw.
    for (float colour : {0.0f, 128.0f}) {
        Oscillator pulse = make({2, 0, 64, 64, colour, 64}, 60);
        for (float v : render(pulse, 1000)) ASSERT_EQ(v, -0.5f);
        Oscillator saw = make({1, 0, 64, 64, colour, 64}, 60);
        const std::vector<float> y = render(saw, 3000);  // 8.9 cycles of 337 samples
        int rises = 0;
        for (size_t i = 1; i < y.size(); ++i) rises += y[i] > y[i - 1];
        EXPECT_GE(rises, 8);
        EXPECT_LE(rises, 18);
    }
    // Ring on the first oscillator multiplies an empty buffer: nothing.
    for (float mode : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) {
        Oscillator ring = make({mode, 1, 64, 64, 64, 128}, 60);
        for (float v : render(ring, 256)) ASSERT_EQ(v, 0.0f) << mode;
    }
}

TEST_F(OscillatorTest, SineAndFmOnAnEmptyBufferArePlainSines) {
    Oscillator fm = make({5, 0, 64, 64, 64, 128}, 69), sine = make({3, 0, 64, 64, 64, 128}, 69);
    const std::vector<float> a = render(fm, 4096), b = render(sine, 4096);
    const double step = fm.increment / 4294967296.0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double expected = std::sin(2 * probe::pi * std::fmod(i * step, 1.0));
        ASSERT_NEAR(a[i], expected, 2e-5) << i;
        ASSERT_NEAR(b[i], expected, 2e-5) << i;
    }
    for (double x = -200.0; x <= 200.0; x += 0.0137) {
        ASSERT_NEAR(fastSin(float(x)), std::sin(double(float(x))), 8e-6 + std::fabs(x) * 2e-7) << x;
    }
}

TEST_F(OscillatorTest, SawPitchMeasuredFromTheSignal) {
    Oscillator a4 = make({1, 0, 64, 64, 127, 128}, 69), c4 = make({1, 0, 64, 64, 127, 128}, 60);
    EXPECT_NEAR(probe::crossingFrequency(render(a4, 44100)), 220.0, 0.01);
    EXPECT_NEAR(probe::crossingFrequency(render(c4, 44100)), 130.81, 0.01);
    // +12 semitones transpose, -1/2 semitone detune, from note 57.5.
    Oscillator moved = make({1, 0, 76, 0, 127, 128}, 57.5f);
    EXPECT_NEAR(probe::crossingFrequency(render(moved, 44100)), 220.0, 0.01);

    Oscillator top = make({1, 0, 64, 64, 64, 128}, 148);
    EXPECT_LT(top.increment, 0x80000000u);
    top.note = 149;
    oscUpdatePitch(top);
    EXPECT_EQ(top.increment, 0x80000000u);  // saturates at half a cycle
}

TEST_F(OscillatorTest, BoxFilteredSawHasZeroMeanAndLessAliasing) {
    Oscillator osc = make({1, 0, 64, 80, 127, 128}, 96);  // about 1.1 kHz
    const std::vector<float> y = render(osc, 8192);
    double sum = 0;
    for (float v : y) sum += v;
    EXPECT_LT(std::fabs(sum / y.size()), 2e-3);

    // The same wave sampled at the phase where each step ends.
    std::vector<float> naive(y.size());
    const double bp = 127.0 / 128.0, inc = osc.increment / 4294967296.0;
    for (size_t i = 0; i < naive.size(); ++i) {
        const double p = std::fmod(i * inc, 1.0);
        naive[i] = float(p < bp ? -1 + 2 * p / bp : 1 - 2 * (p - bp) / (1 - bp));
    }
    // Energy away from the harmonics is aliasing: measured about 8 times less.
    const double f0 = inc * probe::rate;
    auto aliasing = [&](const std::vector<float>& x) {
        double total = 0;
        for (double f = 20.0; f < 20000.0; f += 37.0) {
            if (std::fabs(f / f0 - std::round(f / f0)) * f0 >= 30.0) total += std::pow(probe::toneAmplitude(x, f), 2);
        }
        return total;
    };
    EXPECT_LT(aliasing(y) * 4.0, aliasing(naive));
}

// Far below the audible range the increment is under 2^9 and frac() of it is 0.
TEST_F(OscillatorTest, VeryLowNotesStayFinite) {
    for (float mode : {1.0f, 2.0f}) {
        for (uint32_t start : {0x80000000u - 300u, 0xFFFFFF00u}) {
            Oscillator osc = make({mode, 0, 0, 64, 64, 128}, -64.0f);
            ASSERT_LT(osc.increment, 512u);
            osc.phase = start;  // the steps cross the breakpoint or the cycle end
            const std::vector<float> y = render(osc, 1024);
            ASSERT_TRUE(probe::allFinite(y));
            for (float v : y) ASSERT_LE(std::fabs(v), 1.0f);
        }
    }
    // A breakpoint under 2^9 is bp = 0 as well.
    Oscillator tiny = make({1, 0, 64, 64, 1e-5f, 128}, 60);
    ASSERT_GT(tiny.breakpoint, 0u);
    tiny.phase = 0xFFFFFF00u;
    EXPECT_TRUE(probe::allFinite(render(tiny, 2048)));
}

TEST_F(OscillatorTest, NoiseAtColourZeroIsUnfilteredAndKeepsThePhase) {
    Oscillator white = make({4, 0, 64, 64, 0, 128}, 60);
    uint32_t seed = white.noiseSeed;
    const std::vector<float> w = render(white, 4096);
    EXPECT_EQ(white.phase, 0u);
    for (float y : w) {
        seed = seed * 0x0BB38435u + 0x3619636Bu;
        // The generator's values plus F x high, F = 2^-5 at transpose 64.
        ASSERT_NEAR(y, (seed >> 9) / 4194304.0 - 1.0, 0.1);
    }
    EXPECT_NEAR(probe::rms(w), 1.0 / std::sqrt(3.0), 0.02);  // uniform in [-1, 1)
}

}  // namespace
