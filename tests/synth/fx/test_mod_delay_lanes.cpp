// The lane delay on every SIMD target against the scalar unit: the chorus
// in place and the global delay from its bus, with delays short enough to
// force the sample loop, just long enough for vectors, and long, and the
// LFO sweeping deep and fast.
#include <gtest/gtest.h>
#include <array>
#include <cstring>
#include <random>
#include <vector>
#include "synth/fx/mod_delay.h"
#include "synth/simd/lane_targets.h"
#include "synth/simd/mod_delay_lanes.h"

namespace {

struct DelayRig {
    std::vector<float> left, right;
    ModDelay unit{};
    DelayRig(int32_t length, const std::array<float, 7>& p) : left(length), right(length) {
        modDelayBind(unit, left.data(), right.data(), length - 1);
        modDelayClear(unit);
        modDelaySetup(unit, p.data());
    }
    bool operator==(const DelayRig& o) const {
        return left == o.left && right == o.right && unit.phase == o.unit.phase &&
               unit.writeIndex == o.unit.writeIndex;
    }
};

bool sameBytes(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(ModDelayLanes, MatchTheScalarUnitOnEveryTarget) {
    // amount, feedback, delay left, delay right, rate, depth, phase
    const std::array<float, 7> settings[] = {
        {100, 90, 0, 0, 64, 40, 32},     {30, 20, 1, 1, 128, 128, 0},
        {100, 110, 2, 1, 100, 10, 100},  {128, 0, 20, 24, 64, 128, 128},
        {90, 128, 100, 50, 30, 20, 0},   {64, 64, 128, 128, 128, 128, 64}};
    constexpr int32_t lengths[] = {128, 1, 33, 280, 7};
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        for (const bool send : {false, true}) {
            for (const auto& p : settings) {
                const int32_t length = send ? 32768 : 2048;
                DelayRig scalar(length, p), lanes(length, p);
                std::mt19937 rng(7);
                std::uniform_real_distribution<float> u(-1.0f, 1.0f);
                for (int32_t f = 0; f < 400; ++f) {
                    const int32_t n = lengths[f % 5];
                    std::vector<float> in(n), a(2 * n);
                    for (float& v : in) v = u(rng);
                    for (float& v : a) v = u(rng);
                    std::vector<float> b = a;
                    if (send) {
                        modDelayProcessSend(scalar.unit, in.data(), a.data(), n);
                        modDelayLanesSend(lanes.unit, in.data(), b.data(), n);
                    } else {
                        modDelayProcessStereo(scalar.unit, a.data(), n);
                        modDelayLanesStereo(lanes.unit, b.data(), n);
                    }
                    ASSERT_TRUE(sameBytes(a, b)) << laneTargetName(target) << " " << send << " " << p[2] << " " << f;
                }
                ASSERT_TRUE(scalar == lanes) << laneTargetName(target) << " " << send << " " << p[2];
            }
        }
    }
    laneTargetUse(0);
}

}  // namespace
