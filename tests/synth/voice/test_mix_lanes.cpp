// The ramp-and-pan kernel on every SIMD target against the plain loop, bit
// for bit: one to five voices (the packed path and the general one), frame
// lengths that leave every tail of a packed vector, ramps and held notes.
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "synth/simd/lane_targets.h"
#include "synth/simd/mix_lanes.h"

namespace {

struct Ramp {
    const char* name;
    float amp0, step0, stepRest;  // voice 0's amp and step, the others' step
};

TEST(MixLanes, EveryTargetMatchesThePlainRampAndPan) {
    constexpr int32_t lanes = 16;
    // A ramp whose single steps round (four steps at once would not give
    // the same amps), held notes (voice 0 at -0, which the first add turns
    // into +0) and a held voice beside a moving one.
    const Ramp ramps[] = {{"ramp", 0.1f, 1e-3f, -3.7e-4f}, {"held", -0.0f, 0.0f, 0.0f}, {"mixed", 0.5f, 0.0f, 2.1e-3f}};
    for (int32_t target = 0; target < laneTargetCount(); ++target) {
        laneTargetUse(target);
        for (const Ramp& ramp : ramps)
            for (int32_t count = 1; count <= 5; ++count)
                for (int32_t n : {1, 2, 3, 5, 6, 7, 128, 130}) {
                    MixLanes batch{};
                    batch.lanes = batch.rowStride = lanes;
                    batch.count = count;
                    batch.stereoStride = 2 * n + 6;
                    std::vector<float> samples(size_t(n * lanes));
                    for (size_t i = 0; i < samples.size(); ++i) samples[i] = float(int32_t(i * 37 % 101) - 50) / 47.0f;
                    for (int32_t j = 0; j < count; ++j) {
                        batch.amp[j] = j == 0 ? ramp.amp0 : 0.3f + 0.01f * float(j);
                        batch.step[j] = j == 0 ? ramp.step0 : ramp.stepRest * float(j);
                        batch.gainLeft[j] = 0.7f - 0.1f * float(j);
                        batch.gainRight[j] = 0.2f + 0.15f * float(j);
                    }
                    const MixLanes start = batch;
                    const float untouched = 12345.0f;
                    std::vector<float> stereo(size_t(lanes * batch.stereoStride), untouched);
                    mixLanesProcess(batch, samples.data(), stereo.data(), n);
                    for (int32_t j = 0; j < lanes; ++j) {
                        float amp = start.amp[j];
                        for (int32_t k = 0; k < n; ++k) {
                            const float s = samples[size_t(k * lanes + j)] * amp;
                            amp = amp + start.step[j];
                            const float want[2] = {j < count ? s * start.gainLeft[j] : untouched,
                                                   j < count ? s * start.gainRight[j] : untouched};
                            ASSERT_EQ(std::memcmp(want, &stereo[size_t(j * batch.stereoStride + 2 * k)], sizeof want), 0)
                                << laneTargetName(target) << " " << ramp.name << " count " << count << " n " << n
                                << " lane " << j << " sample " << k;
                        }
                        ASSERT_EQ(std::memcmp(&amp, &batch.amp[j], sizeof amp), 0)
                            << laneTargetName(target) << " " << ramp.name << " count " << count << " n " << n;
                    }
                }
    }
    laneTargetUse(0);
}

}  // namespace
