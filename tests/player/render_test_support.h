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
#include "player/pcm.h"
#include "player/render_length.h"
#include "synth/param_index.h"
#include "synth/synth.h"
#include "tests/support/test_patches.h"

// A triangle that holds while the key is down and dies away within about
// 1.2 s of its release (release 64 takes the level down by 2^-5.5 per frame).
inline PatchRecord audiblePatch() {
    PatchRecord patch = sawPatch(127, 64, 32);
    patch.channel[chorusAmount - voiceParamCount] = 64;  // 64 is neither wet nor inverted: no chorus
    return patch;
}

// Output cuts open, no reverb, delay or master compressor.
inline std::vector<uint8_t> neutralGlobals() {
    std::vector<uint8_t> g = openGlobals();
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

    explicit OfflineSong(std::vector<uint8_t> bytes, uint32_t seed = 1, int32_t sampleRate = 44100)
        : image(std::move(bytes)) {
        std::string reason;
        if (!offlineOpen(*player, *synth, image.data(), uint32_t(image.size()), &seed, reason, sampleRate))
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

// A render until the length rule ends it, 16-bit as the sound output converts.
struct LengthResult {
    std::vector<int16_t> kept;
    uint64_t songFrames = 0;
};

// Renders module (an image or a source) in chunks of chunk frames.
template <typename Module>
LengthResult renderToEnd(const Module& module, uint32_t chunk, double tailSeconds, uint32_t seed = 3) {
    OfflineSong song(module, seed);
    RenderLength length;
    renderLengthInit(length, tailSecondsToFrames(tailSeconds));
    LengthResult result;
    std::vector<float> floats(2 * size_t(chunk));
    std::vector<int16_t> pcm(2 * size_t(chunk));
    while (!renderLengthDone(length)) {
        const uint32_t end = offlineRender(*song.player, floats.data(), chunk);
        if (end != songNotEnded) result.songFrames = song.player->songEndFrame;
        convertToPcm16(floats.data(), pcm.data(), 2 * chunk, 32768.0f);
        const uint32_t keep = renderLengthFeed(length, pcm.data(), chunk, end);
        result.kept.insert(result.kept.end(), pcm.begin(), pcm.begin() + 2 * ptrdiff_t(keep));
    }
    return result;
}

inline bool allZero(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX) {
    if (to > samples.size()) to = samples.size();
    for (size_t i = from; i < to; ++i)
        if (samples[i] != 0.0f) return false;
    return true;
}
