// Patches that drive the filters and distortion stages past stability:
// the render goes on (no crash, no hang) with every sample finite however
// large the numbers get, and the next song after a blown-up one starts
// from a clean synthesizer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "player/module_player.h"
#include "player/offline_render.h"
#include "render_test_support.h"
#include "synth/synth.h"

namespace {

constexpr uint8_t velocitySource = 0;
constexpr uint8_t controller7Source = 7;
constexpr uint8_t fullAmount = 127;  // x 0.984: velocity 127 adds 125

uint8_t& channelByte(PatchRecord& patch, int32_t param) {
    return patch.channel[size_t(param - voiceParamCount)];
}

// A loud square into filter 1 (low-pass), with resonance and cutoff pushed
// to 128 through the modulation matrix.
PatchRecord resonance128() {
    PatchRecord p = audiblePatch();
    p.voice[osc1Mode] = 2;
    p.voice[osc1Volume] = 127;
    p.voice[flt1Mode] = 1;
    p.voice[flt1Cutoff] = 127;
    p.voice[flt1Resonance] = 127;
    p.routings = {{velocitySource, fullAmount, flt1Resonance}, {velocitySource, fullAmount, flt1Cutoff}};
    return p;
}

// Both filters at resonance 127 and cutoff 127, one after the other.
PatchRecord serialEdge() {
    PatchRecord p = audiblePatch();
    p.voice[osc1Mode] = 2;
    p.voice[osc1Volume] = 127;
    p.voice[flt1Mode] = 2;  // band-pass
    p.voice[flt2Mode] = 5;  // peak
    p.voice[flt1Cutoff] = p.voice[flt2Cutoff] = 127;
    p.voice[flt1Resonance] = p.voice[flt2Resonance] = 127;
    p.voice[voiceFilterRouting] = 1;
    return p;
}

// Input gains of 128 (x 64) in the voice's and the channel's distortion,
// after an unstable filter, in the given modes, with the channel's chain
// behind (chorus with full feedback, compressor, bass boost).
PatchRecord hugeGains(uint8_t voiceMode, uint8_t channelMode) {
    PatchRecord p = resonance128();
    p.voice[vdistMode] = voiceMode;
    p.voice[vdistInGain] = p.voice[vdistParam1] = p.voice[vdistParam2] = 127;
    for (int32_t param : {cdistInGain, cdistParam1, cdistParam2, boostAmount, chorusAmount, chorusFeedback,
                          compRatio, chanReverbSend, chanDelaySend})
        channelByte(p, param) = 127;
    channelByte(p, cdistMode) = channelMode;
    channelByte(p, compMode) = 2;
    channelByte(p, compThreshold) = 0;
    channelByte(p, compAutoGain) = 1;
    p.routings.push_back({velocitySource, fullAmount, vdistInGain});
    for (uint8_t param : {cdistInGain, cdistParam1, cdistParam2})  // controller 7 is 127
        p.routings.push_back({controller7Source, fullAmount, param});
    return p;
}

// Reverb, delay and master compressor all see what the channels produce.
ModuleSource blowUpSource(const PatchRecord& patch) {
    ModuleSource s;
    s.globalParams = neutralGlobals();
    for (int32_t param : {rvbTime, rvbVolume, rvbHighCut, dlyAmount, dlyFeedback, dlyLengthL, mcompThreshold})
        s.globalParams[size_t(param)] = 90;
    s.globalParams[mcompMode] = 2;
    s.patchBlock = buildPatchBank({patch});
    s.speechTexts = {"b ae d"};
    for (uint8_t c : {uint8_t(0), uint8_t(15)}) {
        s.channels[c].notes = {{0, 36, 127}, {0, 91, 127}, {192, 36, 0}, {192, 91, 0}};
    }
    return s;
}

void poison(Synth& synth) {
    constexpr uint32_t quietNaN = 0x7FC00000u;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&synth);
    for (size_t at = 0; at + 4 <= sizeof(Synth); at += 4) std::memcpy(bytes + at, &quietNaN, 4);
}

}  // namespace

TEST(BadNumbers, BlownUpSongsRenderFiniteAndTheNextSongStartsClean) {
    std::vector<uint8_t> normal;
    std::string reason;
    ASSERT_TRUE(writeModule(blowUpSource(audiblePatch()), normal, reason)) << reason;
    constexpr uint32_t frames = 2 * 44100;
    OfflineSong fresh(normal, 5);
    const std::vector<float> expected = fresh.render(frames, 450);

    // The same player and synthesizer, wrecked by each blow-up in turn
    // (filters, every distortion mode, chorus and delay lines, reverb,
    // compressors all holding huge values) while every sample stays finite,
    // then given the normal song.
    OfflineSong reused(blowUpSource(hugeGains(4, 9)));
    for (const PatchRecord& wreck : {hugeGains(4, 9), hugeGains(1, 5), hugeGains(2, 9), hugeGains(3, 4),
                                     hugeGains(6, 1), serialEdge()}) {
        std::vector<uint8_t> image = writeOrFail(blowUpSource(wreck));
        const uint32_t seed = 1;
        ASSERT_TRUE(offlineOpen(*reused.player, *reused.synth, image.data(), uint32_t(image.size()),
                                &seed, reason));
        std::vector<float> block(2 * 4096);
        for (int k = 0; k < 20; ++k) {
            offlineRender(*reused.player, block.data(), 4096);
            for (float sample : block) ASSERT_TRUE(std::isfinite(sample));
        }
        // However it ended, a blown-up state is at worst NaN everywhere:
        // every word of the synthesizer record, buffers and delay lines
        // included, becomes a NaN (pointers and counters garbage alike).
        poison(*reused.synth);
        const uint32_t normalSeed = 5;
        ASSERT_TRUE(offlineOpen(*reused.player, *reused.synth, normal.data(), uint32_t(normal.size()),
                                &normalSeed, reason));
        const std::vector<float> got = reused.render(frames, 450);
        size_t firstDifference = got.size();
        for (size_t i = 0; i < got.size() && firstDifference == got.size(); ++i) {
            // Bit patterns, so that NaN compares as a difference.
            if (std::memcmp(&got[i], &expected[i], sizeof(float)) != 0) firstDifference = i;
        }
        EXPECT_EQ(firstDifference, got.size()) << "first difference at frame " << firstDifference / 2;
    }

    // And play again on the open module after it blew up.
    std::vector<uint8_t> image = writeOrFail(blowUpSource(hugeGains(2, 5)));
    OfflineSong replayed(image, 3);
    replayed.render(frames, 450);
    OfflineSong first(image, 3);
    const std::vector<float> start = first.render(4096);
    synthSetSeed(*replayed.synth, 3);
    playerPlay(*replayed.player);
    const std::vector<float> again = replayed.render(4096);
    EXPECT_EQ(std::memcmp(start.data(), again.data(), start.size() * sizeof(float)), 0);
}
