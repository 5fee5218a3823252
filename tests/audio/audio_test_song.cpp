#include "audio_test_song.h"
#include <gtest/gtest.h>
#include <string>
#include "player/module_writer.h"
#include "player/offline_render.h"
#include "player/pcm.h"
#include "synth/param_index.h"
#include "tests/player/render_test_support.h"

namespace {

PatchRecord sawWithNoise() {
    PatchRecord patch = sawPatch(127, 40, 4);
    const std::pair<int32_t, uint8_t> values[] = {
        {voicePanning, 40},  {osc1Color, 127},      {osc1Volume, 90},     {osc2Mode, 4},
        {osc2Color, 64},     {osc2Volume, 40},      {osc3Color, 64},      {vdistParam1, 127},
        {vdistParam2, 64},   {lfo1Rate, 64},        {lfo2Rate, 64},       {cdistParam1, 127},
        {cdistParam2, 64},   {chorusAmount, 64},    {chorusFeedback, 64}, {chorusModPhase, 64},
        {compThreshold, 64}, {compOutGain, 64},     {compAutoGain, 1},
    };
    for (const auto& [param, value] : values)
        (param < voiceParamCount ? patch.voice[param] : patch.channel[param - voiceParamCount]) = value;
    return patch;
}

std::vector<uint8_t> dryGlobals() {
    std::vector<uint8_t> globals(globalParamCount, 0);
    const std::pair<int32_t, uint8_t> values[] = {
        {rvbTime, 64},     {rvbHighCut, 100},    {dlyAmount, 64},    {dlyFeedback, 64},
        {dlyModPhase, 64}, {globalHighCut, 127}, {mcompAutoGain, 1}, {mcompThreshold, 64},
        {mcompOutGain, 64},
    };
    for (const auto& [param, value] : values) globals[param] = value;
    return globals;
}

}  // namespace

std::vector<uint8_t> testSongImage() {
    ModuleSource source;
    source.timeDivision = 96;
    source.tempos = {{0, 500000}};
    source.globalParams = dryGlobals();
    source.patchBlock = buildPatchBank({sawWithNoise()});
    // A quarter second is 48 ticks at 500,000 us per beat and 96 ticks per beat.
    source.channels[0].notes = {{0, 57, 110},  {48, 57, 0},  {48, 64, 100}, {96, 64, 0},
                                {96, 60, 120}, {144, 60, 0}, {144, 67, 90}, {210, 67, 0}};
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
