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
    void SetUp() override { rateConstantsInit(44100); }

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

TEST_F(FilterTest, LowPassAtCutoff64PassesAnOctaveBelowAndCutsAnOctaveAbove) {
    const double fc = 2 * probe::rate / probe::pi * std::asin(std::pow(2.0, -5.0) / 2);  // about 439 Hz
    for (const double freq : {fc / 2.0, fc * 2.0}) {
        Filter f = make(1, 64, 0);
        const std::vector<float> x = probe::sine(freq, 16384);
        const double gain = probe::rms(run(f, x), 4096) / probe::rms(x, 4096);
        EXPECT_TRUE(freq < fc ? gain > 0.9 && gain < 1.3 : gain < 0.35) << freq << ": " << gain;
    }
}

}  // namespace
