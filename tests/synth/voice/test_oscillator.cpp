#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "signal_probe.h"
#include "synth/seed.h"
#include "synth/voice/math.h"
#include "synth/voice/oscillator.h"

namespace {

struct OscParams {
    float mode = 1, ring = 0, transpose = 64, detune = 64, color = 64, volume = 128;
};

class OscillatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        rateConstantsInit(44100);
        seedSourceSetFixed(seeds, 1234);
    }

    Oscillator make(const OscParams& q, float note) {
        Oscillator osc{};
        oscInit(osc, seeds);
        osc.note = note;
        const float p[6] = {q.mode, q.ring, q.transpose, q.detune, q.color, q.volume};
        oscSetup(osc, p);
        return osc;
    }

    // Renders frame by frame into a buffer that starts at `fill`.
    static std::vector<float> render(Oscillator& osc, size_t n, float fill = 0.0f) {
        std::vector<float> out(n, fill);
        for (size_t at = 0; at < n; at += 128) {
            const int32_t len = static_cast<int32_t>(std::min<size_t>(128, n - at));
            oscRender(osc, out.data() + at, len);
        }
        return out;
    }

    SeedSource seeds;
};

TEST_F(OscillatorTest, ModeUsesLowThreeBits) {
    OscParams q;
    q.mode = 8;
    Oscillator off8 = make(q, 60);
    for (float v : render(off8, 256, 0.25f)) EXPECT_EQ(v, 0.25f);
    q.mode = 128;
    Oscillator off128 = make(q, 60);
    for (float v : render(off128, 256, 0.25f)) EXPECT_EQ(v, 0.25f);

    q.mode = 9;
    Oscillator wrapped = make(q, 60);
    q.mode = 1;
    Oscillator saw = make(q, 60);
    EXPECT_EQ(render(wrapped, 512), render(saw, 512));
}

TEST_F(OscillatorTest, ColourZeroAndColour128GiveBreakpointZero) {
    for (float color : {0.0f, 128.0f}) {
        OscParams q;
        q.color = color;
        q.volume = 64;  // g = 0.5
        q.mode = 2;
        Oscillator pulse = make(q, 60);
        EXPECT_EQ(pulse.breakpoint, 0u);
        for (float v : render(pulse, 1000)) EXPECT_EQ(v, -0.5f);

        // Mode 1 is then a falling saw: it only falls, except for the jump
        // back to +g once per cycle (337 samples at note 60).
        q.mode = 1;
        Oscillator saw = make(q, 60);
        const std::vector<float> y = render(saw, 3000);
        int rises = 0;
        for (size_t i = 1; i < y.size(); ++i) {
            EXPECT_LE(std::fabs(y[i]), 0.5f + 1e-6f);
            if (y[i] > y[i - 1]) ++rises;
        }
        EXPECT_GE(rises, 8);
        EXPECT_LE(rises, 18);  // at most two samples per jump, 8.9 cycles
    }
}

TEST_F(OscillatorTest, RingOnTheFirstOscillatorContributesNothing) {
    for (float mode : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) {
        OscParams q;
        q.mode = mode;
        q.ring = 1;
        Oscillator osc = make(q, 60);
        for (float v : render(osc, 256)) EXPECT_EQ(v, 0.0f) << "mode " << mode;
    }
}

TEST_F(OscillatorTest, FmOnAnEmptyBufferIsAPlainSine) {
    OscParams q;
    q.mode = 5;
    Oscillator fm = make(q, 69);
    q.mode = 3;
    Oscillator sine = make(q, 69);
    const std::vector<float> a = render(fm, 4096);
    const std::vector<float> b = render(sine, 4096);
    // Sample i is the sine at phase i x increment (the phase used is the one before the step).
    const double step = fm.increment / 4294967296.0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double expected = std::sin(2 * probe::pi * std::fmod(i * step, 1.0));
        ASSERT_NEAR(a[i], expected, 2e-5) << i;
        ASSERT_NEAR(b[i], expected, 2e-5) << i;
    }
    EXPECT_NEAR(probe::crossingFrequency(a), 220.0, 0.01);

    // With ring set, the FM sine multiplies into the buffer instead of replacing it.
    q.mode = 5;
    q.ring = 1;
    Oscillator ringed = make(q, 69);
    const std::vector<float> c = render(ringed, 512, 0.5f);
    for (size_t i = 0; i < c.size(); ++i) ASSERT_NEAR(c[i], 0.5f * a[i], 1e-5) << i;
}

TEST_F(OscillatorTest, FastSinHoldsItsErrorForAnyArgument) {
    for (double a = -200.0; a <= 200.0; a += 0.0137) {
        const float x = static_cast<float>(a);
        // The remainder is exact; only the stored 2 pi differs from the true one.
        const double tolerance = 8e-6 + std::fabs(x) * 2e-7;
        ASSERT_NEAR(fastSin(x), std::sin(static_cast<double>(x)), tolerance) << x;
    }
}

TEST_F(OscillatorTest, SawPitchMeasuredFromTheSignal) {
    OscParams q;
    q.color = 127;  // rising saw
    Oscillator a4 = make(q, 69);
    EXPECT_NEAR(probe::crossingFrequency(render(a4, 44100)), 220.0, 0.01);
    Oscillator c4 = make(q, 60);
    EXPECT_NEAR(probe::crossingFrequency(render(c4, 44100)), 130.81, 0.01);

    // Transpose and detune move the total note: +12 semitones -64/128 detune.
    q.transpose = 76;
    q.detune = 0;
    Oscillator shifted = make(q, 57.5f);
    EXPECT_NEAR(probe::crossingFrequency(render(shifted, 44100)), 220.0, 0.01);
}

TEST_F(OscillatorTest, BoxFilteredSawHasZeroMeanAndLessAliasing) {
    OscParams q;
    q.color = 127;
    q.detune = 80;  // a period that is no whole number of samples
    Oscillator osc = make(q, 96);
    const std::vector<float> y = render(osc, 16384);
    double sum = 0;
    for (float v : y) sum += v;
    EXPECT_LT(std::fabs(sum / y.size()), 2e-3);

    // The same wave sampled point by point at the phase where each step ends.
    std::vector<float> naive(y.size());
    const double bp = 127.0 / 128.0;
    const double inc = osc.increment / 4294967296.0;
    for (size_t i = 0; i < naive.size(); ++i) {
        const double p = std::fmod(i * inc, 1.0);
        naive[i] = static_cast<float>(p < bp ? -1.0 + 2.0 * p / bp : 1.0 - 2.0 * (p - bp) / (1.0 - bp));
    }
    // Energy away from the harmonics of f0 is aliasing (measured: about 8 times
    // less in the box-filtered wave).
    const double f0 = inc * probe::sampleRate;
    auto aliasing = [&](const std::vector<float>& x) {
        std::vector<float> part(x.begin(), x.begin() + 8192);
        double total = 0;
        for (double f = 20.0; f < 20000.0; f += 37.0) {
            const double h = f / f0;
            if (std::fabs(h - std::round(h)) * f0 < 30.0) continue;
            const double a = probe::toneAmplitude(part, f);
            total += a * a;
        }
        return total;
    };
    const double boxed = aliasing(y);
    const double plain = aliasing(naive);
    EXPECT_LT(boxed * 4.0, plain) << boxed << " vs " << plain;
}

TEST_F(OscillatorTest, IncrementSaturatesAtHalfACycle) {
    OscParams q;
    Oscillator osc = make(q, 148);
    EXPECT_LT(osc.increment, 0x80000000u);
    EXPECT_GT(osc.increment, 0x78000000u);
    for (float note : {149.0f, 170.0f, 1000.0f}) {
        osc.note = note;
        oscUpdatePitch(osc);
        EXPECT_EQ(osc.increment, 0x80000000u) << note;
    }
}

// For a total note far below the audible range the increment is under 2^9,
// so frac(increment) is 0: every step stays inside one segment.
TEST_F(OscillatorTest, VeryLowNotesStayFinite) {
    OscParams q;
    q.transpose = 0;
    for (float mode : {1.0f, 2.0f}) {
        q.mode = mode;
        for (uint32_t start : {0x80000000u - 300u, 0xFFFFFF00u, 0x7FFFFE00u}) {
            Oscillator osc = make(q, -64.0f);
            ASSERT_LT(osc.increment, 512u);
            ASSERT_GT(osc.increment, 0u);
            osc.phase = start;  // let the steps cross the breakpoint or the cycle end
            const std::vector<float> y = render(osc, 1024);
            ASSERT_TRUE(probe::allFinite(y.data(), y.size()));
            for (float v : y) EXPECT_LE(std::fabs(v), 1.0f);
        }
    }
    // A colour so small that the breakpoint is under 2^9 means bp = 0 too.
    q.mode = 1;
    q.transpose = 64;
    q.color = 1e-5f;
    Oscillator tiny = make(q, 60);
    ASSERT_GT(tiny.breakpoint, 0u);
    ASSERT_LT(tiny.breakpoint, 512u);
    tiny.phase = 0xFFFFFF00u;
    const std::vector<float> y = render(tiny, 2048);
    EXPECT_TRUE(probe::allFinite(y.data(), y.size()));
}

TEST_F(OscillatorTest, NoiseIsWhiteAtColourZeroAndBandLimitedAtHighColour) {
    OscParams q;
    q.mode = 4;
    q.color = 0;
    Oscillator white = make(q, 60);
    const uint32_t phase = white.phase;
    const std::vector<float> w = render(white, 8192);
    EXPECT_EQ(white.phase, phase);
    EXPECT_NEAR(probe::rms(w), 1.0 / std::sqrt(3.0), 0.02);  // uniform in [-1, 1)

    // Colour 120 is a narrow band around the transpose-set frequency: the
    // noise frequency coefficient at transpose 64 is 2^-5.
    q.color = 120;
    q.volume = 16;
    Oscillator band = make(q, 20);
    const std::vector<float> b = render(band, 44100);
    const std::vector<float> tail(b.begin() + 4096, b.end());
    const double centre = std::asin(band.noiseFreq / 2.0) * probe::sampleRate / probe::pi;
    EXPECT_GT(probe::toneAmplitude(tail, centre), 4.0 * probe::toneAmplitude(tail, centre * 3.0));
}

}  // namespace
