// The bass boosts of many channels in lanes, on every SIMD target, against
// each channel's own scalar unit: from two channels to a full sixteen (one
// lane vector filled and two), frames around the lanes' blocks.
#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <vector>
#include "synth/fx/bass_boost.h"
#include "synth/simd/bass_boost_lanes.h"
#include "synth/simd/lane_targets.h"

namespace {

TEST(BassBoostLanes, MatchEachChannelsScalarUnitOnEveryTarget) {
    constexpr int32_t lengths[] = {128, 1, 65, 280};
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        for (const int32_t count : {2, 7, 8, 9, 16}) {
            std::vector<BassBoost> scalar(count), lanes(count);
            for (int32_t k = 0; k < count; ++k) bassBoostSetup(scalar[k], float(1 + k * 8));
            lanes = scalar;
            std::mt19937 rng(count);
            std::uniform_real_distribution<float> u(-1.0f, 1.0f);
            for (int32_t f = 0; f < 40; ++f) {
                const int32_t n = lengths[f % 4];
                std::vector<std::vector<float>> a(count, std::vector<float>(2 * n));
                for (auto& buffer : a)
                    for (float& v : buffer) v = u(rng);
                std::vector<std::vector<float>> b = a;
                std::vector<BassBoost*> units;
                std::vector<float*> buffers;
                for (int32_t k = 0; k < count; ++k) {
                    bassBoostProcess(scalar[k], a[k].data(), n);
                    units.push_back(&lanes[k]);
                    buffers.push_back(b[k].data());
                }
                bassBoostLanes(units.data(), buffers.data(), count, n);
                ASSERT_EQ(a, b) << laneTargetName(target) << " " << count << " " << f;
            }
            ASSERT_EQ(std::memcmp(scalar.data(), lanes.data(), count * sizeof(BassBoost)), 0);
        }
    }
    laneTargetUse(0);
}

}  // namespace
