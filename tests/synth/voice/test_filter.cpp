#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <vector>
#include "tests/support/signal_probe.h"
#include "synth/voice/filter.h"
#include "synth/voice/math.h"

namespace {

class FilterTest : public ::testing::Test {
protected:
    static Filter make(float mode, float cutoff, float resonance) {
        Filter f{};
        filterInit(f);
        const float p[3] = {mode, cutoff, resonance};
        filterSetup(f, p);
        return f;
    }

    static std::vector<float> run(Filter& f, std::vector<float> x) {
        for (size_t at = 0; at < x.size(); at += 128) filterProcess(f, &x[at], &x[at], int32_t(std::min<size_t>(128, x.size() - at)));
        return x;
    }
};

TEST_F(FilterTest, BypassInPlaceIsBitIdentical) {
    std::vector<float> x = probe::sine(1000.0, 300);
    x[7] = std::nanf("");
    for (float mode : {0.0f, 6.0f, 7.0f, 8.0f}) {
        Filter f = make(mode, 64, 64);
        const std::vector<float> y = run(f, x);
        EXPECT_EQ(std::memcmp(y.data(), x.data(), x.size() * sizeof(float)), 0);
        EXPECT_EQ(f.band, 0.0f);
    }
}

TEST_F(FilterTest, LowPassAtCutoff64PassesAnOctaveBelowAndCutsAnOctaveAbove) {
    const double fc = 2 * probe::rate / probe::pi * std::asin(std::pow(2.0, -5.0) / 2);  // about 439 Hz
    for (const double freq : {fc / 2.0, fc * 2.0}) {
        Filter f = make(1, 64, 0);
        const std::vector<float> x = probe::sine(freq, 16384);
        const double gain = probe::rms(run(f, x), 4096) / probe::rms(x, 4096);
        EXPECT_TRUE(freq < fc ? gain > 0.9 && gain < 1.3 : gain < 0.35) << freq << ": " << gain;
    }
}

TEST_F(FilterTest, FullResonanceRingsOn) {
    Filter f = make(1, 40, 128);
    std::vector<float> x(88200, 0.0f);
    x[0] = 1.0f;
    const std::vector<float> y = run(f, x);
    float early = 0, late = 0;
    for (size_t i = 0; i < 4410; ++i) {
        early = std::max(early, std::fabs(y[i]));
        late = std::max(late, std::fabs(y[y.size() - 1 - i]));
    }
    EXPECT_GT(late, 0.9f * early);
    EXPECT_GT(early, 0.0f);
}

TEST_F(FilterTest, StrideTwoTouchesOneSideOnly) {
    const std::vector<float> mono = probe::sine(500.0, 256);
    std::vector<float> stereo(512, std::nanf("")), out(512, 7.0f);  // NaN would spread if read
    for (size_t i = 0; i < 256; ++i) stereo[2 * i] = mono[i];
    Filter side = make(2, 80, 50), ref = make(2, 80, 50);
    side.stride = 2;
    filterProcess(side, stereo.data(), out.data(), 256);
    const std::vector<float> expected = run(ref, mono);
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(out[2 * i], expected[i]) << i;
        ASSERT_EQ(out[2 * i + 1], 7.0f) << i;
    }
}

}  // namespace
