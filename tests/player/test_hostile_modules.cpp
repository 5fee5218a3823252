// Modules the parse accepts although no sensible tool writes them: parameter
// bytes above 128 and tempos at the ends of their range.
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
    // The pan's square roots stay real: the sound is finite and all on the right.
    for (uint8_t pan : {129, 192, 255}) {
        PatchRecord patch = audiblePatch();
        patch.voice[voicePanning] = pan;
        const std::vector<float> samples = renderWith(patch);
        EXPECT_TRUE(allFinite(samples)) << int(pan);
        PatchRecord right = audiblePatch();
        right.voice[voicePanning] = 128;
        EXPECT_TRUE(sameBits(samples, renderWith(right))) << int(pan);
    }
}

TEST(HostileModules, TempoOutsideOneToTheLimitIsRefused) {
    struct Case { uint32_t micros; bool accepted; };
    for (const Case& c : {Case{0, false}, Case{1, true}, Case{maxTempoMicros, true},
                          Case{maxTempoMicros + 1, false}, Case{9739210, false}}) {
        ModuleSource source = playableSource();
        source.tempos = {{0, 500000}, {96, c.micros}};
        EXPECT_EQ(parseFailure(mustWrite(source)).empty(), c.accepted) << c.micros;
    }
    // The limit is the largest tempo whose product with 441 fits 32 bits.
    EXPECT_EQ(maxTempoMicros, 0xFFFFFFFFu / 441u);
}
