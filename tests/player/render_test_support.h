#pragma once
// Sounding modules for the render tests: one audible patch with a short
// release and quiet, neutral effects, and a player bound to a synthesizer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "player/module_player.h"
#include "player/module_writer.h"
#include "player/offline_render.h"
#include "synth/param_index.h"
#include "synth/synth.h"

// A triangle that holds while the key is down and dies away within about
// 1.2 s of its release (release 64 takes the level down by 2^-5.5 per frame).
inline PatchRecord audiblePatch() {
    PatchRecord patch;
    auto& v = patch.voice;
    v[voicePanning] = 64;
    v[voiceTranspose] = 64;
    v[osc1Mode] = 1;
    v[osc1Transpose] = v[osc2Transpose] = v[osc3Transpose] = 64;
    v[osc1Detune] = v[osc2Detune] = v[osc3Detune] = 64;
    v[osc1Color] = 64;
    v[osc1Volume] = 100;
    v[flt1Cutoff] = v[flt2Cutoff] = 127;
    v[voiceFilterBalance] = 64;
    v[vdistInGain] = 32;
    v[eg1Attack] = v[eg2Attack] = 0;
    v[eg1Decay] = v[eg2Decay] = 64;
    v[eg1Sustain] = v[eg2Sustain] = 127;
    v[eg1SustainTime] = v[eg2SustainTime] = 64;
    v[eg1Release] = v[eg2Release] = 64;
    v[eg1Gain] = v[eg2Gain] = 127;
    auto channel = [&patch](int32_t param) -> uint8_t& { return patch.channel[size_t(param - voiceParamCount)]; };
    channel(chanVolume) = 100;
    channel(cdistInGain) = 32;
    channel(chorusAmount) = 64;  // 64 is neither wet nor inverted: no chorus
    patch.polyphony = 32;
    return patch;
}

// Output cuts open, no reverb, delay or master compressor.
inline std::vector<uint8_t> neutralGlobals() {
    std::vector<uint8_t> g(globalParamCount, 0);
    g[globalHighCut] = 127;
    g[dlyAmount] = 64;
    return g;
}

// 96 ticks per beat at the default 500,000 us per beat: one beat is 22,050 frames.
inline ModuleSource audibleSource(std::vector<NoteEvent> notes, uint8_t channel = 0) {
    ModuleSource source;
    source.timeDivision = 96;
    source.globalParams = neutralGlobals();
    source.patchBlock = buildPatchBank({audiblePatch()});
    source.channels[channel].notes = std::move(notes);
    return source;
}

inline std::vector<uint8_t> writeOrFail(const ModuleSource& source) {
    std::vector<uint8_t> image;
    std::string reason;
    if (!writeModule(source, image, reason)) ADD_FAILURE() << reason;
    return image;
}

// A module opened and playing offline with a fixed seed.
struct OfflineSong {
    std::vector<uint8_t> image;
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();

    explicit OfflineSong(std::vector<uint8_t> bytes, uint32_t seed = 1) : image(std::move(bytes)) {
        std::string reason;
        if (!offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, reason))
            ADD_FAILURE() << reason;
    }
    explicit OfflineSong(const ModuleSource& source, uint32_t seed = 1)
        : OfflineSong(writeOrFail(source), seed) {}

    // The next frames, rendered in chunks of at most chunk frames.
    std::vector<float> render(uint32_t frames, uint32_t chunk = 4096) {
        std::vector<float> out(2 * size_t(frames));
        for (uint32_t done = 0; done < frames;) {
            const uint32_t n = frames - done < chunk ? frames - done : chunk;
            offlineRender(*player, out.data() + 2 * size_t(done), n);
            done += n;
        }
        return out;
    }
};

inline bool allZero(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX) {
    if (to > samples.size()) to = samples.size();
    for (size_t i = from; i < to; ++i)
        if (samples[i] != 0.0f) return false;
    return true;
}
