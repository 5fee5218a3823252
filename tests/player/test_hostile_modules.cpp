// Modules no sensible tool writes: parameter bytes above 128, tempo 0.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "module_test_support.h"
#include "render_test_support.h"

namespace {

constexpr uint8_t routingSourceCount = 13;

// Every parameter byte set to value, and routingCount routings that walk
// through all sources, amounts and destinations (channel ones included).
PatchRecord uniformPatch(uint8_t value, int routingCount) {
    PatchRecord patch;
    patch.voice.fill(value);
    patch.channel.fill(value);
    patch.polyphony = 32;
    for (int r = 0; r < routingCount; ++r)
        patch.routings.push_back({uint8_t(r % routingSourceCount), uint8_t(r * 37), uint8_t(r % 84)});
    return patch;
}

std::vector<float> renderWith(const PatchRecord& patch) {
    ModuleSource source = audibleSource({{0, 48, 127}, {0, 60, 100}, {96, 48, 0}});
    source.patchBlock = buildPatchBank({patch});
    OfflineSong song(source);
    return song.render(8192, 450);
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

bool allFinite(const std::vector<float>& samples) {
    for (float s : samples)
        if (!std::isfinite(s)) return false;
    return true;
}

}  // namespace

// A byte above 128 acts as 128, whether routings touch it or not.
TEST(HostileModules, ParameterBytesAbove128ActAs128) {
    for (int routings : {0, 255}) {
        const std::vector<float> at128 = renderWith(uniformPatch(128, routings));
        for (uint8_t value : {129, 200, 255}) {
            SCOPED_TRACE(testing::Message() << "bytes " << int(value) << ", " << routings << " routings");
            EXPECT_TRUE(sameBits(renderWith(uniformPatch(value, routings)), at128));
        }
    }
    // The pan's square roots stay real.
    PatchRecord patch = audiblePatch();
    patch.voice[voicePanning] = 128;
    const std::vector<float> right = renderWith(patch);
    EXPECT_TRUE(allFinite(right));
    for (uint8_t pan : {129, 192, 255}) {
        patch.voice[voicePanning] = pan;
        EXPECT_TRUE(sameBits(renderWith(patch), right)) << int(pan);
    }
}

// Tempo 0 would play the song in no time; 9739155 and up overflow tempo x 441.
TEST(HostileModules, TempoOutsideOneToTheLimitIsRefused) {
    for (uint32_t micros : {0u, 1u}) {
        ModuleSource source = playableSource();
        source.tempos = {{0, 500000}, {96, micros}};
        EXPECT_EQ(parseFailure(mustWrite(source)).empty(), micros == 1) << micros;
    }
    EXPECT_EQ(maxTempoMicros, 0xFFFFFFFFu / 441u);
}
