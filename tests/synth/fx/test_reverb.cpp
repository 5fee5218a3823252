#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>
#include "synth/fx/reverb.h"
#include "synth/voice/math.h"

namespace {

std::unique_ptr<Reverb> makeReverb(float time, float highCut, float lowCut, float volume) {
    rateConstantsInit(44100);
    auto r = std::make_unique<Reverb>();
    const float p[4] = {time, highCut, lowCut, volume};
    reverbSetup(*r, p);
    return r;
}

// One frame of 128: the bus in, the stereo output out (from a silent mix).
std::vector<float> frame(Reverb& r, const std::vector<float>& bus) {
    std::vector<float> mix(256, 0.0f);
    reverbProcess(r, bus.data(), mix.data(), 128);
    return mix;
}

// Excitation longer than the longest comb: a click would leave the combs'
// low-pass states decaying over line positions that still hold zeros, and the
// first underflow clears the whole network.
void excite(Reverb& r, uint32_t seed = 1) {
    std::mt19937 noise(seed);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    for (int32_t f = 0; f < 16; ++f) {
        std::vector<float> bus(128);
        for (float& v : bus) v = u(noise);
        frame(r, bus);
    }
}

bool isDenormal(float v) { return v != 0.0f && std::fabs(v) < 1.17549435e-38f; }

TEST(Reverb, InvertedInputsCancelUntilTheFirstCombWraps) {
    // Combs 2 and 4 take the input inverted, so the four comb outputs cancel
    // until the shortest comb (1309 left, 1327 right) feeds back.
    auto r = makeReverb(100, 100, 0, 128);
    std::vector<float> out;
    for (int32_t f = 0; f < 12; ++f) {
        const std::vector<float> mix = frame(*r, std::vector<float>(128, 1.0f));
        out.insert(out.end(), mix.begin(), mix.end());
    }
    auto firstNonZero = [&](int32_t side) {
        for (size_t i = 0; i < out.size() / 2; ++i)
            if (out[2 * i + side] != 0.0f) return static_cast<int32_t>(i);
        return -1;
    };
    EXPECT_EQ(firstNonZero(0), 1309);
    EXPECT_EQ(firstNonZero(1), 1327);
}

TEST(Reverb, HighCutZeroIsSilent) {
    auto r = makeReverb(127, 0, 0, 128);
    std::mt19937 noise(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int32_t f = 0; f < 40; ++f) {
        std::vector<float> bus(128);
        for (float& v : bus) v = u(noise);
        for (float v : frame(*r, bus)) ASSERT_EQ(v, 0.0f);
    }
}

TEST(Reverb, VolumeZeroLetsTheTailDecayAndIgnoresTheBus) {
    auto muted = makeReverb(100, 120, 10, 128);
    auto reference = makeReverb(100, 120, 10, 128);
    excite(*muted);
    excite(*reference);
    const float p[4] = {100, 120, 10, 0};
    reverbSetup(*muted, p);  // the tail stays in the lines
    std::vector<float> loud(128, 0.7f), silent(128, 0.0f);
    double energy = 0;
    for (int32_t f = 0; f < 200; ++f) {
        const std::vector<float> a = frame(*muted, loud);
        const std::vector<float> b = frame(*reference, silent);
        ASSERT_EQ(a, b) << f;
        for (float v : a) energy += v * v;
    }
    EXPECT_GT(energy, 1e-4);
}

TEST(Reverb, TailEndsInExactZerosThroughTheGuard) {
    auto r = makeReverb(8, 127, 0, 128);
    excite(*r);
    const std::vector<float> silent(128, 0.0f);
    int32_t silentFrom = -1;
    for (int32_t f = 1; f < 20000 && silentFrom < 0; ++f) {
        const std::vector<float> mix = frame(*r, silent);
        // No denormal survives a frame in any stored value.
        for (float v : r->lines) ASSERT_FALSE(isDenormal(v)) << f;
        for (float v : r->combState) ASSERT_FALSE(isDenormal(v)) << f;
        bool allZero = true;
        for (float v : mix) allZero = allZero && v == 0.0f;
        if (allZero) silentFrom = f;
    }
    ASSERT_GT(silentFrom, 0);
    for (float v : r->lines) ASSERT_EQ(v, 0.0f);
    for (float v : r->combState) ASSERT_EQ(v, 0.0f);
    // Cleared at the end of the frame before, then one frame of 128 further.
    for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(r->index[k], 128 % reverbLineLengths[k]);
    for (int32_t f = 0; f < 50; ++f)
        for (float v : frame(*r, silent)) ASSERT_EQ(v, 0.0f);
}

// Samples from the end of the excitation until the output's short-term energy has fallen
// 40 dB below its peak.
int32_t decayTime(float time) {
    auto r = makeReverb(time, 127, 0, 128);
    std::vector<double> energy;
    const std::vector<float> silent(128, 0.0f);
    excite(*r);
    for (int32_t f = 0; f < 2400; ++f) {
        const std::vector<float> mix = frame(*r, silent);
        double e = 0;
        for (float v : mix) e += static_cast<double>(v) * v;
        energy.push_back(e);
    }
    // Windows of 16 frames smooth out the comb echoes.
    std::vector<double> smooth;
    for (size_t i = 0; i + 16 <= energy.size(); i += 16) {
        double e = 0;
        for (size_t k = 0; k < 16; ++k) e += energy[i + k];
        smooth.push_back(e);
    }
    const double peak = *std::max_element(smooth.begin(), smooth.end());
    for (size_t i = smooth.size(); i-- > 0;)
        if (smooth[i] > peak * 1e-4) return static_cast<int32_t>((i + 1) * 16 * 128);
    return 0;
}

TEST(Reverb, DecayTimeGrowsWithTheTimeParameter) {
    const int32_t shortTail = decayTime(20);
    const int32_t mediumTail = decayTime(40);
    const int32_t longTail = decayTime(60);
    EXPECT_GT(mediumTail, shortTail * 2);
    EXPECT_GT(longTail, mediumTail * 3 / 2);
    // The first comb loses 40 dB in 1309 x 2 / -log10(g) samples, with
    // g = b^((64/61)^2) at 60; the four combs are tuned to decay alike.
    const double g = std::pow(0.966384590, std::pow(64.0 / 61.0, 2));
    const double combT40 = 1309.0 * 2.0 / -std::log10(g);
    EXPECT_NEAR(longTail, combT40, 0.35 * combT40);
}

TEST(Reverb, ConversionsAtTheEnds) {
    auto r = makeReverb(127, 127, 127, 0);
    EXPECT_NEAR(r->combGain[0], 0.9915, 5e-5);
    EXPECT_NEAR(r->combGain[3], 0.9875, 5e-5);
    EXPECT_NEAR(r->allpassGain[0], 0.99856, 5e-6);
    EXPECT_NEAR(r->allpassGain[1], 0.99951, 5e-6);
    EXPECT_EQ(r->damp, 0.9921875f);
    EXPECT_NEAR(r->lowCut, 0.969, 5e-4);
    EXPECT_EQ(r->inGain, 0.0f);
    auto instant = makeReverb(0, 0, 0, 128);
    EXPECT_EQ(instant->combGain[0], 0.0f);
    EXPECT_NEAR(instant->allpassGain[1], 0.00033, 1e-5);
    EXPECT_EQ(instant->lowCut, 0.0f);
    EXPECT_EQ(instant->inGain, 1.0f);
}

}  // namespace
