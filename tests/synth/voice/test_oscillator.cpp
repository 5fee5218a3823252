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

TEST_F(OscillatorTest, IncrementSaturatesAtHalfACycle) {
    render({1, 0, 64, 64, 64, 128}, 148, 1);
    EXPECT_LT(osc.increment, 0x80000000u);
    osc.note = 149;
    oscUpdatePitch(osc);
    EXPECT_EQ(osc.increment, 0x80000000u);  // saturates at half a cycle
}

// Far below the audible range (voice note 0, both transposes -64: note -128)
// the increment is under 2^9 and frac() of it is 0.
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
