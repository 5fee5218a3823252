#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <vector>
#include "tests/support/signal_probe.h"
#include "synth/seed.h"
#include "synth/simd/lane_targets.h"
#include "synth/simd/osc_lanes.h"
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

// The lanes on every SIMD target against oscRender, bit for bit: every
// mode, ring or not, into fresh rows or samples so far, groups of up to four
// voices (several samples to a vector) and of sixteen, frame lengths that
// are no multiple of a vector, FM beyond 4 and 16 cycles, and NaN.
TEST_F(OscillatorTest, LanesMatchOscRenderOnEveryTarget) {
    constexpr int32_t lanes = 16;
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        for (const int32_t count : {3, 4, 16})
            for (const int32_t n : {37, 128})
                for (const bool fresh : {true, false}) {
                    OscLanes batch{};
                    batch.lanes = batch.rowStride = lanes;
                    batch.fresh = fresh;
                    Oscillator units[lanes]{};
                    std::vector<float> rows(size_t(n) * lanes);
                    for (size_t k = 0; k < rows.size(); ++k) rows[k] = float(k % 23) * 0.7f - 7.5f;
                    rows[lanes * 5 + 2] = std::nanf("");
                    const std::vector<float> before = rows;
                    for (int32_t j = 0; j < count; ++j) {
                        oscInit(units[j], seeds);
                        units[j].note = 30.0f + 5.0f * float(j);
                        const float mode = float(count <= 4 ? 1 + j % 3 : 1 + j % 5);
                        const float p[6] = {mode, float(j / 2 % 2), 64, float(50 + j), float(8 * j), 100};
                        oscSetup(units[j], p);
                        units[j].phase = 0xFFFFFFFFu / 16u * uint32_t(j);
                        oscLanesSet(batch, j, units[j]);
                    }
                    oscLanesProcess(batch, rows.data(), n);
                    for (int32_t j = 0; j < lanes; ++j) {
                        std::vector<float> want(static_cast<size_t>(n));
                        for (int32_t k = 0; k < n; ++k) want[k] = fresh ? 0.0f : before[size_t(k * lanes + j)];
                        if (j < count) oscRender(units[j], want.data(), n);
                        for (int32_t k = 0; k < n; ++k)
                            ASSERT_EQ(std::memcmp(&want[k], &rows[size_t(k * lanes + j)], sizeof(float)), 0)
                                << laneTargetName(target) << " voices " << count << " lane " << j << " sample " << k;
                        if (j < count) {
                            EXPECT_EQ(batch.phase[j], units[j].phase);
                        }
                    }
                }
    }
    laneTargetUse(0);
}

}  // namespace
