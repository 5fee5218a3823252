#include "synth/synth.h"
#include <algorithm>
#include <cstring>
#include "synth/fp_mode.h"
#include "synth/non_finite.h"
#include "synth/output_filter.h"
#include "synth/params.h"
#include "synth/voice/math.h"

void synthInit(Synth& synth, const uint8_t* patchBank, uint32_t bankSize, int32_t sampleRate) {
    seedSourceRestart(synth.seeds);
    synth.rates = rateConstantsFor(sampleRate);
    // Every work buffer holds one frame of at most maxFrameLength samples, and
    // a frame must advance the render, so the length stays within 1..280.
    synth.rates.frameLength = std::clamp(synth.rates.frameLength, 1, maxFrameLength);
    std::memset(static_cast<SynthResettable*>(&synth), 0, sizeof(SynthResettable));
    synth.sampleRate = sampleRate;
    synth.patchMap = patchBank;
    synth.patchBankSize = bankSize;
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        voiceReset(synth.voices[v], synth.seeds);
        synth.voiceChannel[v] = -1;
    }
    // Program 0 and controllers 1..6 stay 0; channelFxInit sets controller 7
    // to 127 and binds the channel's chorus lines.
    for (int32_t c = 0; c < synthChannelCount; ++c) channelFxInit(synth, c);
    reverbClear(synth.reverb);
    modDelayBind(synth.delay, synth.delayLines[0], synth.delayLines[1], delayLineLength - 1);
    modDelayClear(synth.delay);
    speechInit(synth.speech, sampleRate);
    compressorInit(synth.masterCompressor);
}

void synthSetGlobals(Synth& synth, const uint8_t* globals) {
    // Parameters live on the 0..128 scale; a file's global bytes above that
    // (up to 255) would drive the reverb's high-pass and the output cut
    // filters unstable, so they are clamped like every modulated parameter.
    for (int32_t k = 0; k < globalParamCount; ++k)
        synth.globalParams[k] = static_cast<float>(std::min<uint8_t>(globals[k], 128));
    reverbSetup(synth.reverb, &synth.globalParams[rvbTime], synth.rates);
    modDelaySetup(synth.delay, &synth.globalParams[dlyAmount], synth.rates);
    compressorSetup(synth.masterCompressor, &synth.globalParams[mcompMode]);
    synth.lowCutCoef = outputCutCoef(synth.globalParams[globalLowCut]);
    synth.highCutCoef = outputCutCoef(synth.globalParams[globalHighCut]);
}

void synthSetSpeechTexts(Synth& synth, const char* const* texts) {
    speechSetTexts(synth.speech, texts);
}

void synthSetMuteMask(Synth& synth, uint32_t mask) { synth.muteMask = mask; }

void synthChannelLevels(const Synth& synth, float (&levels)[synthChannelCount]) {
    for (float& level : levels) level = 0.0f;
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        const int32_t c = synth.voiceChannel[v];
        if (c < 0) continue;
        levels[c] = std::max(levels[c], synth.voices[v].env[0].out / 128.0f);
    }
    for (int32_t c = 0; c < synthChannelCount; ++c)
        levels[c] *= static_cast<float>(synth.channelControls[c][7]) / 127.0f;
}

void synthSetSeed(Synth& synth, uint32_t seed) { seedSourceSetFixed(synth.seeds, seed); }

namespace {

bool channelHasVoice(const Synth& synth, int32_t c) {
    for (int32_t v = 0; v < synthVoiceCount; ++v)
        if (synth.voiceChannel[v] == c) return true;
    return false;
}

// Control-rate work of a frame start: voices (freeing those whose amplitude
// envelope has finished), then every channel, then the speech voice.
void updateControls(Synth& synth) {
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        if (synth.voiceChannel[v] < 0) continue;
        voiceParamUpdate(synth, v);
        voiceTick(synth.voices[v]);
        if (synth.voices[v].env[0].state == 0) synth.voiceChannel[v] = -1;
    }
    for (int32_t c = 0; c < synthChannelCount; ++c) channelFxUpdate(synth, c);
    speechTick(synth.speech);
}

void renderChannel(Synth& synth, int32_t c, int32_t n) {
    std::fill_n(synth.channelBuffer, 2 * n, 0.0f);
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        if (synth.voiceChannel[v] != c) continue;
        voiceRender(synth.voices[v], synth.voiceBuffer, synth.voiceBuffer2, synth.channelBuffer, n);
    }
    if (c == synthChannelCount - 1) speechRender(synth.speech, synth.channelBuffer, n);
    channelFxProcess(synth, c, n);
}

// One frame of n samples into mainMix. Channels without voices are skipped
// whole, so their effect tails stop with their last voice.
void renderFrame(Synth& synth, int32_t n) {
    std::fill_n(synth.mainMix, 2 * n, 0.0f);
    std::fill_n(synth.reverbBus, n, 0.0f);
    std::fill_n(synth.delayBus, n, 0.0f);
    for (int32_t c = 0; c < synthChannelCount; ++c)
        if (channelHasVoice(synth, c)) renderChannel(synth, c, n);
    // Muted returns still run (their state goes on) into a discarded buffer.
    float* returns = synth.mainMix;
    if (synth.muteMask & effectsMuteBit) {
        returns = synth.channelBuffer;
        std::fill_n(returns, 2 * n, 0.0f);
    }
    reverbProcess(synth.reverb, synth.reverbBus, returns, n);
    modDelayProcessSend(synth.delay, synth.delayBus, returns, n);
    outputFilterProcess(synth, synth.mainMix, n);
    // voiceBuffer and voiceBuffer2 together: the 2 x 280 level scratch.
    compressorProcess(synth.masterCompressor, synth.mainMix, synth.voiceBuffer, n);
    if (silenceNonFinite(synth.mainMix, 2 * n)) {
        synthClearNonFinite(synth);
        ++synth.nonFiniteFrames;
    }
}

void startFrame(Synth& synth) {
    updateControls(synth);
    synth.renderFrameLength = synth.rates.frameLength;
    synth.frameLeft = synth.rates.frameLength;
    renderFrame(synth, synth.renderFrameLength);
}

void copyOut(Synth& synth, const float* mix, uint32_t n) {
    if (!synth.renderDestRight) {
        std::copy_n(mix, 2 * n, synth.renderDest);
        synth.renderDest += 2 * n;
        return;
    }
    float* left = synth.renderDest;
    float* right = synth.renderDestRight;
    if (synth.renderAdd) {
        for (uint32_t i = 0; i < n; ++i) {
            left[i] += mix[2 * i];
            right[i] += mix[2 * i + 1];
        }
    } else {
        for (uint32_t i = 0; i < n; ++i) {
            left[i] = mix[2 * i];
            right[i] = mix[2 * i + 1];
        }
    }
    synth.renderDest += n;
    synth.renderDestRight += n;
}

}  // namespace

void synthRender(Synth& synth, float* dest, uint32_t count, float* destRight, int32_t add) {
    FpModeGuard fpMode;
    synth.renderLeft = count;
    synth.renderDest = dest;
    synth.renderDestRight = destRight;
    synth.renderAdd = add;
    while (synth.renderLeft != 0) {
        if (synth.frameLeft == 0) startFrame(synth);
        const uint32_t n = std::min(synth.renderLeft, static_cast<uint32_t>(synth.frameLeft));
        const float* mix = synth.mainMix + 2 * (synth.renderFrameLength - synth.frameLeft);
        synth.renderLeft -= n;
        synth.frameLeft -= static_cast<int32_t>(n);
        copyOut(synth, mix, n);
    }
}
