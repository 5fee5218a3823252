#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <vector>
#include "signal_probe.h"
#include "synth/voice/filter.h"
#include "synth/voice/math.h"

namespace {

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override { rateConstantsInit(44100); }

    static Filter make(float mode, float cutoff, float resonance) {
        Filter f{};
        filterInit(f);
        const float p[3] = {mode, cutoff, resonance};
        filterSetup(f, p);
        return f;
    }

    static std::vector<float> run(Filter& f, std::vector<float> x) {
        for (size_t at = 0; at < x.size(); at += 128) {
            const int32_t n = static_cast<int32_t>(std::min<size_t>(128, x.size() - at));
            filterProcess(f, x.data() + at, x.data() + at, n);
        }
        return x;
    }
};

TEST_F(FilterTest, BypassModesCopyAndLeaveStatesAlone) {
    std::vector<float> x = probe::sine(1000.0, 300);
    x[7] = std::nanf("");
    for (float mode : {0.0f, 6.0f, 7.0f, 8.0f}) {
        Filter f = make(mode, 64, 64);
        f.low = 0.25f;
        f.band = -0.5f;
        std::vector<float> inPlace = x;
        filterProcess(f, inPlace.data(), inPlace.data(), 300);
        EXPECT_EQ(std::memcmp(inPlace.data(), x.data(), x.size() * sizeof(float)), 0);
        std::vector<float> copy(300, 9.0f);
        f.stride = 2;  // ignored by bypass: n consecutive samples are copied
        filterProcess(f, x.data(), copy.data(), 300);
        EXPECT_EQ(std::memcmp(copy.data(), x.data(), x.size() * sizeof(float)), 0);
        EXPECT_EQ(f.low, 0.25f);
        EXPECT_EQ(f.band, -0.5f);
    }
}

TEST_F(FilterTest, LowPassAtCutoff64PassesAnOctaveBelowAndCutsAnOctaveAbove) {
    // Coefficient 2^-5 at byte 64, i.e. about 439 Hz for the doubled recursion.
    const double fc = 2.0 * probe::sampleRate / probe::pi * std::asin(std::pow(2.0, -5.0) / 2.0);
    EXPECT_NEAR(fc, 438.7, 0.5);
    const size_t n = 16384;
    const size_t settle = 4096;
    for (const double freq : {fc / 2.0, fc * 2.0}) {
        Filter f = make(1, 64, 0);
        const std::vector<float> x = probe::sine(freq, n);
        const std::vector<float> y = run(f, x);
        const double gain = probe::rms(y, settle) / probe::rms(x, settle);
        if (freq < fc) {
            EXPECT_GT(gain, 0.9) << freq;
            EXPECT_LT(gain, 1.3) << freq;
        } else {
            EXPECT_LT(gain, 0.35) << freq;  // about -12 dB per octave
        }
    }
    // The high-pass does the opposite.
    Filter hp = make(3, 64, 0);
    const std::vector<float> low = probe::sine(fc / 4.0, n);
    EXPECT_LT(probe::rms(run(hp, low), settle) / probe::rms(low, settle), 0.15);
}

TEST_F(FilterTest, ResponsesAreSumsOfTheStates) {
    // band + notch (high + low) equals peak (high + band + low) at every sample.
    std::vector<float> x = probe::sine(300.0, 1000);
    for (size_t i = 0; i < x.size(); i += 37) x[i] += 0.5f;
    Filter band = make(2, 70, 40), notch = make(4, 70, 40), peak = make(5, 70, 40);
    const std::vector<float> b = run(band, x), nt = run(notch, x), pk = run(peak, x);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(b[i] + nt[i], pk[i], 1e-5) << i;
}

TEST_F(FilterTest, FullResonanceRingsOn) {
    Filter f = make(1, 40, 128);
    EXPECT_EQ(f.damp, 0.0f);
    std::vector<float> x(44100 * 2, 0.0f);
    x[0] = 1.0f;
    const std::vector<float> y = run(f, x);
    auto peakIn = [&](size_t from, size_t to) {
        float m = 0;
        for (size_t i = from; i < to; ++i) m = std::max(m, std::fabs(y[i]));
        return m;
    };
    const float early = peakIn(0, 4410);
    const float late = peakIn(y.size() - 4410, y.size());
    EXPECT_GT(early, 0.0f);
    EXPECT_GT(late, 0.9f * early);
}

TEST_F(FilterTest, StateCarriesAcrossCallsAndSetups) {
    const std::vector<float> x = probe::sine(200.0, 512);
    Filter whole = make(1, 50, 30);
    std::vector<float> a = x;
    filterProcess(whole, a.data(), a.data(), 512);

    Filter split = make(1, 50, 30);
    std::vector<float> b = x;
    filterProcess(split, b.data(), b.data(), 200);
    const float p[3] = {1, 50, 30};
    filterSetup(split, p);  // a new frame's set-up keeps low and band
    filterProcess(split, b.data() + 200, b.data() + 200, 312);
    EXPECT_EQ(a, b);
}

TEST_F(FilterTest, StrideTwoTouchesOneSideOnly) {
    const std::vector<float> mono = probe::sine(500.0, 256);
    std::vector<float> stereo(512);
    for (size_t i = 0; i < 256; ++i) {
        stereo[2 * i] = mono[i];
        stereo[2 * i + 1] = std::nanf("");  // would spread if read
    }
    std::vector<float> out(512, 7.0f);
    Filter side = make(2, 80, 50);
    side.stride = 2;
    filterProcess(side, stereo.data(), out.data(), 256);
    Filter ref = make(2, 80, 50);
    std::vector<float> expected = mono;
    filterProcess(ref, expected.data(), expected.data(), 256);
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(out[2 * i], expected[i]) << i;
        ASSERT_EQ(out[2 * i + 1], 7.0f) << i;
    }
}

}  // namespace
