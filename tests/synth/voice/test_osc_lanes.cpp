#include <gtest/gtest.h>
#include <cstring>
#include "synth/simd/lane_targets.h"
#include "synth/simd/osc_lanes.h"
#include "synth/voice/oscillator.h"

namespace {

// Triangle/saw lanes against oscRender where a frame's steps run between
// crossings: steps below 2^9, no step, a step of half a cycle and more, a
// breakpoint of 0 or at the cycle's end, phases a step before a crossing.
TEST(OscLanes, TriSawMatchesTheScalarOscillatorOnEveryTarget) {
    struct Case {
        uint32_t phase, increment, breakpoint;
    };
    const Case cases[] = {{0, 1u << 24, 1u << 31},          {(1u << 31) - 50, 100, 1u << 31},
                          {0, 0, 0},                        {5u, 0, 1u << 30},
                          {0u - 5 * (1u << 20), 1u << 20, 0u - 1000}, {7, (1u << 31) + 3, 1u << 30},
                          {123456789, 1u << 22, 0},         {(1u << 30) - 3, 1, 1u << 30},
                          {0u - 1, 3, 0u - 1},              {(1u << 29) + 17, 0x0123456u, (1u << 29) + 0x0123456u}};
    constexpr int32_t lanes = 16, n = 128;
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        for (const Case& c : cases) {  // one lane each: its own run between crossings
            Oscillator osc{};
            osc.mode = 1;
            osc.gain = 0.5f;
            osc.phase = c.phase;
            osc.increment = c.increment;
            osc.breakpoint = c.breakpoint;
            const TriSawShape shape = triSawShape(osc);
            OscLanes batch{};
            batch.lanes = batch.rowStride = lanes;
            batch.mode[0] = 1;
            batch.phase[0] = osc.phase;
            batch.increment[0] = osc.increment;
            batch.breakpoint[0] = shape.breakpoint;
            batch.tinyStep[0] = shape.tinyStep;
            batch.gain[0] = osc.gain;
            batch.f[0] = shape.f;
            batch.bp[0] = shape.bp;
            batch.slopeA[0] = shape.A;
            batch.slopeB[0] = shape.B;
            batch.invF[0] = shape.invF;
            float rows[n * lanes] = {}, expected[n] = {};
            oscRender(osc, expected, n);
            oscLanesProcess(batch, rows, n);
            for (int32_t k = 0; k < n; ++k)
                ASSERT_EQ(std::memcmp(&rows[k * lanes], &expected[k], sizeof(float)), 0)
                    << laneTargetName(target) << " phase " << c.phase << " sample " << k;
        }
    }
    laneTargetUse(0);
}

}  // namespace
