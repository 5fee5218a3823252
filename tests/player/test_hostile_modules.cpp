// Modules no sensible tool writes: parameter bytes above 128, tempo 0,
// filters driven past stability.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "module_test_support.h"
#include "render_test_support.h"
#include "synth/frame_crew.h"

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

std::vector<float> renderWith(const PatchRecord& patch, uint8_t globalBytes = 0) {
    ModuleSource source = audibleSource({{0, 48, 127}, {0, 60, 100}, {96, 48, 0}});
    source.patchBlock = buildPatchBank({patch});
    if (globalBytes) source.globalParams.assign(globalParamCount, globalBytes);
    OfflineSong song(source);
    return song.render(44100, 450);
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

bool allFinite(const std::vector<float>& samples) {
    for (float s : samples)
        if (!std::isfinite(s)) return false;
    return true;
}

constexpr uint8_t controller1Source = 1;
constexpr uint8_t controller7Source = 7;  // 127 unless a song sets it
constexpr uint8_t lfo1Source = 10;

uint8_t& patchByte(PatchRecord& p, int32_t param) {
    return param < voiceParamCount ? p.voice[size_t(param)] : p.channel[size_t(param - voiceParamCount)];
}

// A loud pulse through both filters in parallel, the unit under test in the
// given mode, its resonance parameter pushed to 128 (undamped) while source
// moves its cutoff parameter from frame to frame. All bytes are valid;
// modulation takes the resonance and LFO 1's rate to 128.
PatchRecord movingUndamped(int32_t mode, uint8_t modeValue, int32_t resonance, int32_t cutoff, uint8_t source) {
    PatchRecord p = audiblePatch();
    p.voice[osc1Mode] = 2;
    p.voice[osc1Volume] = 127;
    p.voice[voiceFilterRouting] = 2;
    p.voice[lfo1Mode] = 1;  // triangle, at rate 128 a quarter cycle a frame
    p.voice[lfo1Rate] = p.voice[lfo1Amplitude] = 127;
    patchByte(p, mode) = modeValue;
    patchByte(p, resonance) = 127;
    patchByte(p, cutoff) = 64;
    p.routings = {{controller7Source, 127, uint8_t(resonance)}, {controller7Source, 127, lfo1Rate},
                  {source, 127, uint8_t(cutoff)}};
    return p;
}

// A note held for seconds, controller 1 flipping between 0 and 127 at every tick.
std::vector<float> renderHeld(const PatchRecord& patch, uint32_t seconds) {
    ModuleSource source = audibleSource({{0, 60, 127}});
    source.patchBlock = buildPatchBank({patch});
    for (uint32_t tick = 0; tick < seconds * 192; ++tick)
        source.channels[0].controllers[0].push_back({tick, uint8_t(tick % 2 * 127)});
    return OfflineSong(source).render(seconds * 44100);
}

}  // namespace

// A byte above 128 acts as 128, whether routings touch it or not, and
// global bytes likewise (never blowing up the bus).
TEST(HostileModules, ParameterBytesAbove128ActAs128) {
    const std::vector<float> globals128 = renderWith(audiblePatch(), 128);
    EXPECT_TRUE(allFinite(globals128));
    EXPECT_TRUE(sameBits(renderWith(audiblePatch(), 255), globals128));
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

// Each of these grows without bound and overflowed within 6 s: every sample
// stays finite, though the filter runs far past any sensible level.
TEST(HostileModules, UndampedFiltersWithMovingCutoffsRenderFinite) {
    struct Case { const char* name; int32_t mode; uint8_t modeValue; int32_t resonance, cutoff; uint8_t source; };
    const Case cases[] = {
        {"filter 1 low-pass", flt1Mode, 1, flt1Resonance, flt1Cutoff, lfo1Source},
        {"filter 2 band-pass", flt2Mode, 2, flt2Resonance, flt2Cutoff, lfo1Source},
        {"noise oscillator", osc1Mode, 4, osc1Color, osc1Transpose, lfo1Source},  // colour 128: undamped
        {"voice distortion low-pass", vdistMode, 5, vdistParam2, vdistParam1, lfo1Source},
        {"channel distortion low-pass", cdistMode, 5, cdistParam2, cdistParam1, controller1Source},
    };
    for (const Case& c : cases) {
        const std::vector<float> samples =
            renderHeld(movingUndamped(c.mode, c.modeValue, c.resonance, c.cutoff, c.source), 6);
        float peak = 0.0f;
        for (float s : samples) peak = std::max(peak, std::fabs(s));
        EXPECT_TRUE(allFinite(samples)) << c.name;
        EXPECT_GT(peak, 1e30f) << c.name << ": no longer runs away";
    }
}

// Channel 1's filter overflows first, hidden by the bit crusher (a NaN
// crushes to a finite sample); channel 2's overflows later into the mix, and
// the finite guard then clears both. On two threads the voices of the frame
// after a mix render beside it only when no voice holds such a state, so
// channel 1 restarts from silence there too, and the samples are the same.
TEST(HostileModules, AnOverflowHiddenFromTheMixIsClearedOnEveryThreadCount) {
    ModuleSource source = audibleSource({{0, 60, 127}});
    PatchRecord crushed = movingUndamped(flt1Mode, 1, flt1Resonance, flt1Cutoff, lfo1Source);
    crushed.voice[vdistMode] = 3;
    source.patchBlock = buildPatchBank({crushed, movingUndamped(flt1Mode, 1, flt1Resonance, flt1Cutoff, lfo1Source)});
    source.channels[1].programs = {{0, 1}};
    source.channels[1].notes = {{192, 60, 127}};
    const std::vector<uint8_t> image = writeOrFail(source);
    const auto render = [&](SynthEngine engine, int32_t threads, uint32_t& nonFiniteFrames) {
        OfflineSong song(image, 1, 44100);
        synthSetEngine(*song.synth, engine);
        FrameCrew crew;
        frameCrewStart(crew, *song.synth, threads);
        std::vector<float> samples = song.render(9 * 44100);
        frameCrewStop(crew);
        nonFiniteFrames = song.synth->nonFiniteFrames;
        return samples;
    };
    uint32_t scalarGuarded = 0, lanesGuarded = 0;
    const std::vector<float> scalar = render(SynthEngine::scalar, 1, scalarGuarded);
    EXPECT_TRUE(sameBits(render(SynthEngine::lanes, 2, lanesGuarded), scalar));
    EXPECT_GT(scalarGuarded, 0u);
    EXPECT_EQ(lanesGuarded, scalarGuarded);
}

// Below 44,100 Hz the filter coefficients grow with 44100 / rate and overflowed
// within a frame. Capped, each filter stays within a few times its level at
// 44,100 Hz: at resonance 0 the capped low-pass passes at most 1.53 times its
// input's peak (the sum of its impulse response's magnitudes), the noise
// filter's mix about twice what it passes at 44,100 Hz; resonance 128 is
// undamped at every rate. The finite guard must never act.
TEST(HostileModules, FiltersStayStableAtLowSampleRates) {
    struct Case { int32_t mode, cutoff, resonance; uint8_t modeValue, cutoffValue, resonanceValue; };
    const Case cases[] = {
        {flt1Mode, flt1Cutoff, flt1Resonance, 1, 127, 0},
        {flt1Mode, flt1Cutoff, flt1Resonance, 1, 128, 0},
        {flt1Mode, flt1Cutoff, flt1Resonance, 1, 127, 128},
        {flt1Mode, flt1Cutoff, flt1Resonance, 1, 128, 128},
        {vdistMode, vdistParam1, vdistParam2, 5, 128, 0},  // distortion low-pass
        {osc1Mode, osc1Transpose, osc1Color, 4, 128, 0},   // noise, colour 0
    };
    for (const Case& c : cases) {
        PatchRecord patch = audiblePatch();
        patchByte(patch, c.mode) = c.modeValue;
        patchByte(patch, c.cutoff) = c.cutoffValue;
        patchByte(patch, c.resonance) = c.resonanceValue;
        ModuleSource source = audibleSource({{0, 60, 127}});
        source.patchBlock = buildPatchBank({patch});
        float peakAt44100 = 0.0f;
        for (const int32_t rate : {44100, 32000, 22050, 8000}) {
            OfflineSong song(writeOrFail(source), 1, rate);
            float peak = 0.0f;
            for (float s : song.render(uint32_t(2 * rate))) peak = std::max(peak, std::fabs(s));
            if (rate == 44100) peakAt44100 = peak;
            SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << int(c.cutoffValue) << "/"
                                            << int(c.resonanceValue) << " at " << rate << " Hz");
            EXPECT_EQ(song.synth->nonFiniteFrames, 0u);
            EXPECT_LT(peak, 8.0f * peakAt44100);
        }
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
