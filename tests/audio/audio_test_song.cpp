#include "audio_test_song.h"
#include <gtest/gtest.h>
#include <string>
#include "player/module_writer.h"
#include "player/offline_render.h"
#include "player/pcm.h"
#include "synth/param_index.h"
#include "tests/player/render_test_support.h"

namespace {

// A saw with a noise oscillator beside it, panned left of centre.
PatchRecord sawWithNoise() {
    PatchRecord patch = sawPatch(127, 40, 4);
    patch.voice[voicePanning] = 40;
    patch.voice[osc2Mode] = 4;
    patch.voice[osc2Color] = 64;
    patch.voice[osc2Volume] = 40;
    return patch;
}

}  // namespace

std::vector<uint8_t> testSongImage() {
    // A quarter second is 48 ticks at 500,000 us per beat and 96 ticks per beat.
    ModuleSource source = audibleSource({{0, 57, 110}, {48, 57, 0}, {48, 64, 100}, {96, 64, 0},
                                         {96, 60, 120}, {144, 60, 0}, {144, 67, 90}, {210, 67, 0}});
    source.patchBlock = buildPatchBank({sawWithNoise()});
    return writeOrFail(source);
}

void testPlayerStart(TestPlayer& test, const std::vector<uint8_t>& image, uint32_t seed) {
    std::string reason;
    ASSERT_TRUE(offlineOpen(*test.player, *test.synth, image.data(),
                            static_cast<uint32_t>(image.size()), &seed, reason))
        << reason;
}

std::vector<int16_t> offlinePcm(const std::vector<uint8_t>& image, uint32_t seed, uint32_t frames) {
    // Chunked like a refill pass; the render does not depend on chunking.
    const std::vector<float> floats = OfflineSong(image, seed).render(frames, 1000);
    std::vector<int16_t> pcm(floats.size());
    convertToPcm16(floats.data(), pcm.data(), static_cast<uint32_t>(floats.size()), 32768.0f);
    return pcm;
}
