#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "synth/fx/mod_delay.h"
#include "synth/voice/math.h"

namespace {

// A modulated delay on its own 32768-sample lines: base delays of 248
// samples per step.
struct DelayRig {
    std::vector<float> left, right;
    ModDelay unit{};

    DelayRig(int32_t length, std::initializer_list<float> p) : left(length), right(length) {
        rateConstantsInit(44100);
        modDelayBind(unit, left.data(), right.data(), length - 1);
        modDelayClear(unit);
        modDelaySetup(unit, std::vector<float>(p).data());
    }
};

TEST(ModDelay, GlobalDelayEchoesAtItsBaseDelayAndKeepsRingingOnSilence) {
    DelayRig rig(32768, {128, 96, 1, 2, 0, 0, 64});  // 248 and 496 samples, feedback 0.5
    std::vector<float> mix(16 * 256, 0.0f), bus(128, 0.0f);
    for (int32_t f = 0; f < 16; ++f) {
        bus[0] = f == 0 ? 1.0f : 0.0f;  // one click, then a silent bus
        modDelayProcessSend(rig.unit, bus.data(), mix.data() + f * 256, 128);
    }
    std::vector<std::pair<int32_t, float>> left, right;
    for (int32_t i = 0; i < 16 * 128; ++i) {
        if (mix[2 * i] != 0.0f) left.push_back({i, mix[2 * i]});
        if (mix[2 * i + 1] != 0.0f) right.push_back({i, mix[2 * i + 1]});
    }
    const std::vector<std::pair<int32_t, float>> expectRight = {
        {496, 1.0f}, {992, 0.5f}, {1488, 0.25f}, {1984, 0.125f}};
    EXPECT_EQ(right, expectRight);
    ASSERT_EQ(left.size(), 8u);
    EXPECT_EQ(left[0], std::make_pair(247, 1.0f));
    EXPECT_EQ(left[7], std::make_pair(8 * 247, 0.0078125f));
}

}  // namespace
