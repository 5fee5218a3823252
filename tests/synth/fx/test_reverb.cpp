#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>
#include "synth/fx/reverb.h"
#include "synth/simd/lane_targets.h"
#include "synth/simd/reverb_lanes.h"
#include "synth/voice/math.h"

namespace {

struct ReverbRig {
    std::unique_ptr<Reverb> r = std::make_unique<Reverb>();
    ReverbRig(float time, float highCut, float lowCut, float volume) {
        setup(time, highCut, lowCut, volume);
    }
    void setup(float time, float highCut, float lowCut, float volume) {
        const float p[4] = {time, highCut, lowCut, volume};
        reverbSetup(*r, p);
    }
    // One frame of 128 from a bus holding `level` (or noise), into a silent mix.
    std::vector<float> frame(float level = 0.0f, std::mt19937* noise = nullptr) {
        std::vector<float> bus(128, level), mix(256, 0.0f);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        if (noise) for (float& v : bus) v = u(*noise);
        reverbProcess(*r, bus.data(), mix.data(), 128);
        return mix;
    }
    // Noise longer than the longest comb. After a click the combs' low-pass
    // states decay over line positions still holding zeros, and the first
    // underflow clears the whole network.
    void excite() {
        std::mt19937 noise(1);
        for (int32_t f = 0; f < 16; ++f) frame(0.0f, &noise);
    }
};

bool isDenormal(float v) { return v != 0.0f && std::fabs(v) < 1.17549435e-38f; }

TEST(Reverb, HighCutZeroIsSilent) {
    ReverbRig closed(127, 0, 0, 128);
    std::mt19937 noise(3);
    for (int32_t f = 0; f < 40; ++f)
        for (float v : closed.frame(0.0f, &noise)) ASSERT_EQ(v, 0.0f);
}

TEST(Reverb, TailEndsInExactZerosThroughTheGuard) {
    ReverbRig rig(8, 127, 0, 128);
    Reverb& r = *rig.r;
    rig.excite();
    int32_t silentFrom = -1;
    for (int32_t f = 1; f < 20000 && silentFrom < 0; ++f) {
        const std::vector<float> mix = rig.frame();
        for (float v : r.lines) ASSERT_FALSE(isDenormal(v)) << f;  // none survives a frame
        bool allZero = true;
        for (float v : mix) allZero = allZero && v == 0.0f;
        if (allZero) silentFrom = f;
    }
    ASSERT_GT(silentFrom, 0);
    for (float v : r.lines) ASSERT_EQ(v, 0.0f);
    for (float v : r.combState) ASSERT_EQ(v, 0.0f);
    // Cleared at the end of the frame before, then one frame of 128 further.
    for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(r.index[k], 128 % reverbLineLengths[k]);
    for (int32_t f = 0; f < 50; ++f)
        for (float v : rig.frame()) ASSERT_EQ(v, 0.0f);
}

// The lane engine on every target leaves the record the scalar engine
// leaves, frame by frame: through silence after a clear (skipped, but the
// positions move on), noise, frames of odd lengths, and the tail's end.
TEST(Reverb, LanesKeepTheScalarRecordThroughSilenceAndInput) {
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        ReverbRig scalar(60, 100, 20, 128), lanes(60, 100, 20, 128);
        reverbClear(*scalar.r);
        reverbClear(*lanes.r);
        std::mt19937 noise(5);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        for (int32_t f = 0; f < 3000; ++f) {
            const int32_t n = f % 7 == 3 ? 37 : 128;
            std::vector<float> bus(size_t(n), 0.0f), mix(2 * size_t(n), -0.0f), mix2 = mix;
            if (f >= 5 && f < 30) for (float& v : bus) v = u(noise);
            reverbProcess(*scalar.r, bus.data(), mix.data(), n);
            reverbLanesProcess(*lanes.r, bus.data(), mix2.data(), n);
            ASSERT_EQ(std::memcmp(mix.data(), mix2.data(), mix.size() * sizeof(float)), 0) << f;
            const Reverb &a = *scalar.r, &b = *lanes.r;
            ASSERT_EQ(std::memcmp(a.index, b.index, sizeof a.index), 0) << laneTargetName(target) << f;
            ASSERT_EQ(std::memcmp(a.combState, b.combState, sizeof a.combState), 0) << f;
            for (int32_t k = 0; k < 12; ++k)
                ASSERT_EQ(std::memcmp(reverbLine(*scalar.r, k), reverbLine(*lanes.r, k),
                                      sizeof(float) * size_t(reverbLineLengths[k])), 0) << f;
        }
    }
    laneTargetUse(0);
}

}  // namespace
