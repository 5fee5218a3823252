#include "synth/params.h"
#include <algorithm>
#include <cmath>
#include "synth/synth.h"

namespace {

uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

const uint8_t* channelPatch(const Synth& synth, int32_t c) {
    return synthPatch(synth, synth.channelControls[c][0]);
}

// Value of a modulation source as a voice destination sees it.
float voiceSourceValue(const Synth& synth, int32_t v, int32_t c, uint8_t source) {
    const SynthVoice& voice = synth.voices[v];
    if (source == 0) return voice.velocity;
    if (source <= 7) return static_cast<float>(synth.channelControls[c][source]);
    switch (source) {
        case 8: return voice.env[0].out;
        case 9: return voice.env[1].out;
        case 10: return voice.lfo[0].out;
        case 11: return voice.lfo[1].out;
        default: return static_cast<float>((voice.note - 48) * 2);  // the key
    }
}

// A stored byte as a parameter: bytes above 128 (no valid patch holds them)
// are clamped like modulated values, so no unit sees a value outside 0..128.
float paramFromByte(uint8_t byte) { return static_cast<float>(std::min<uint8_t>(byte, 128)); }

}  // namespace

const uint8_t* synthPatch(const Synth& synth, int32_t program) {
    const uint64_t size = synth.patchBankSize;
    const uint64_t entry = static_cast<uint64_t>(program) * 4;
    if (!synth.patchMap || program < 0 || entry + 4 > size) return nullptr;
    const uint64_t offset = readLe32(synth.patchMap + entry);
    if (offset + patchRoutingsOffset > size) return nullptr;
    const uint8_t* patch = synth.patchMap + offset;
    const uint64_t length = patchRoutingsOffset + 3u * patch[patchRoutingCountOffset];
    if (offset + length > size) return nullptr;
    return patch;
}

float clampParam(float v) {
    if (std::signbit(v)) return 0.0f;
    if (v > 128.0f) return 128.0f;
    return v;
}

float routingFactor(uint8_t amount) {
    return ((static_cast<float>(amount) - 64.0f) * 0.0078125f) * 2.0f;
}

void voiceParamUpdate(Synth& synth, int32_t v) {
    const int32_t c = synth.voiceChannel[v];
    float* p = synth.voiceParams[v];
    const uint8_t* patch = c >= 0 ? channelPatch(synth, c) : nullptr;
    if (!patch) {
        for (int32_t k = 0; k < voiceParamCount; ++k) p[k] = 0.0f;
        voiceSetup(synth.voices[v], p, synth.rates);
        return;
    }
    for (int32_t k = 0; k < voiceParamCount; ++k) p[k] = paramFromByte(patch[k]);
    const int32_t routings = patch[patchRoutingCountOffset];
    for (int32_t r = 0; r < routings; ++r) {
        const uint8_t* routing = patch + patchRoutingsOffset + 3 * r;
        const uint8_t destination = routing[2];
        if (destination >= voiceParamCount) continue;
        const float value = voiceSourceValue(synth, v, c, routing[0]);
        p[destination] = clampParam(p[destination] + value * routingFactor(routing[1]));
    }
    voiceSetup(synth.voices[v], p, synth.rates);
}

void channelParamUpdate(Synth& synth, int32_t c) {
    float* p = synth.channelParams[c];
    const uint8_t* patch = channelPatch(synth, c);
    if (!patch) {
        for (int32_t k = 0; k < channelParamCount; ++k) p[k] = 0.0f;
        return;
    }
    for (int32_t k = 0; k < channelParamCount; ++k)
        p[k] = paramFromByte(patch[voiceParamCount + k]);
    const int32_t routings = patch[patchRoutingCountOffset];
    for (int32_t r = 0; r < routings; ++r) {
        const uint8_t* routing = patch + patchRoutingsOffset + 3 * r;
        const uint8_t source = routing[0];
        const uint8_t destination = routing[2];
        if (destination < voiceParamCount || destination >= patchParamCount || source > 7) continue;
        // Source 0 has no velocity at channel level: it reads the reverb send
        // as the previous update converted it, which stored patches rely on.
        const float value = source == 0 ? synth.channels[c].reverbSend
                                         : static_cast<float>(synth.channelControls[c][source]);
        float& target = p[destination - voiceParamCount];
        target = clampParam(target + value * routingFactor(routing[1]));
    }
}
