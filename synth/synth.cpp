#include "synth/synth.h"
#include <algorithm>
#include <cstring>
#include "synth/fp_mode.h"
#include "synth/non_finite.h"
#include "synth/frame_crew.h"
#include "synth/fx/channel_lanes.h"
#include "synth/output_filter.h"
#include "synth/params.h"
#include "synth/simd/mod_delay_lanes.h"
#include "synth/simd/reverb_lanes.h"
#include "synth/voice/math.h"

void synthInit(Synth& synth, const uint8_t* patchBank, uint32_t bankSize, int32_t sampleRate) {
    FpModeGuard fpMode;  // roundInt rounds in the current mode
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
    FpModeGuard fpMode;
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

void synthSetEngine(Synth& synth, SynthEngine engine) { synth.engine = engine; }

namespace {

// The frame's plan: the channels that have a voice (before the voices'
// updates; see synthFramePart), each given to the part
// with the fewest voices so far, so the parts are about even; returns the
// number of parts (the crew's threads, but no more than there are sounding
// channels; one without a crew). Channels without voices are skipped whole,
// so their effect tails stop with their last voice.
int32_t planFrame(Synth& synth) {
    int32_t voices[synthChannelCount] = {};
    for (int32_t v = 0; v < synthVoiceCount; ++v)
        if (synth.voiceChannel[v] >= 0) ++voices[synth.voiceChannel[v]];
    int32_t sounding = 0;
    for (int32_t c = 0; c < synthChannelCount; ++c) sounding += voices[c] > 0;
    const int32_t parts = synth.crew ? std::max(1, std::min(frameCrewThreads(*synth.crew), sounding)) : 1;
    int32_t load[synthChannelCount] = {};
    for (int32_t c = 0; c < synthChannelCount; ++c) {
        synth.channelSounds[c] = voices[c] > 0;
        int32_t part = 0;
        for (int32_t p = 1; p < parts; ++p)
            if (load[p] < load[part]) part = p;
        synth.channelPart[c] = part;
        load[part] += voices[c];
    }
    return parts;
}

// Control-rate work of a frame start: every channel, then the speech voice.
// The voices' own updates come with their rendering (synthFramePart), on the
// thread that renders them: each reads only its voice, its channel's
// controllers and the patch.
void updateControls(Synth& synth) {
    for (int32_t c = 0; c < synthChannelCount; ++c) channelFxUpdate(synth, c);
    speechTick(synth.speech);
}

// One frame of n samples into mainMix: the voices and channels (on the
// worker threads too, when there are any), then, on this thread, every
// channel's sends and volume in channel order and the global bus.
void renderFrame(Synth& synth, int32_t n) {
    std::fill_n(synth.mainMix, 2 * n, 0.0f);
    std::fill_n(synth.reverbBus, n, 0.0f);
    std::fill_n(synth.delayBus, n, 0.0f);
    const int32_t parts = planFrame(synth);
    if (parts > 1) frameCrewRender(*synth.crew, synth, parts, n);
    else synthFramePart(synth, synth.scratch, 0, n);
    for (int32_t c = 0; c < synthChannelCount; ++c)
        if (synth.channelSounds[c]) channelFxMix(synth, c, synth.channelOut[c], n);
    // Muted returns still run (their state goes on) into a discarded buffer.
    float* returns = synth.mainMix;
    if (synth.muteMask & effectsMuteBit) {
        returns = synth.channelBuffer;
        std::fill_n(returns, 2 * n, 0.0f);
    }
    if (synth.engine == SynthEngine::lanes) {
        reverbLanesProcess(synth.reverb, synth.reverbBus, returns, n);
        modDelayLanesSend(synth.delay, synth.delayBus, returns, n);
    } else {
        reverbProcess(synth.reverb, synth.reverbBus, returns, n);
        modDelayProcessSend(synth.delay, synth.delayBus, returns, n);
    }
    if (synth.engine == SynthEngine::lanes) {
        OutputCut cut = outputCutOf(synth);
        compressorProcessFused(synth.masterCompressor, synth.mainMix, synth.scratch.levels, n, &cut);
        outputCutStore(synth, cut);
    } else {
        outputFilterProcess(synth, synth.mainMix, n);
        compressorProcess(synth.masterCompressor, synth.mainMix, synth.scratch.levels, n);
    }
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

// The control-rate update of the part's voices, freeing those whose
// amplitude envelope has finished; returns those left, in voice order.
int32_t updatePartVoices(Synth& synth, int32_t part, int32_t (&voices)[synthVoiceCount]) {
    int32_t count = 0;
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        const int32_t c = synth.voiceChannel[v];
        if (c < 0 || synth.channelPart[c] != part) continue;
        voiceParamUpdate(synth, v);
        voiceTick(synth.voices[v]);
        if (synth.voices[v].env[0].state == 0) synth.voiceChannel[v] = -1;
        else voices[count++] = v;
    }
    return count;
}

bool channelHasVoice(const Synth& synth, int32_t c, const int32_t* voices, int32_t count) {
    for (int32_t a = 0; a < count; ++a)
        if (synth.voiceChannel[voices[a]] == c) return true;
    return false;
}

}  // namespace

void synthFramePart(Synth& synth, FrameScratch& scratch, int32_t part, int32_t n) {
    int32_t voices[synthVoiceCount];
    const int32_t count = updatePartVoices(synth, part, voices);
    const bool lanes = synth.engine == SynthEngine::lanes;
    if (lanes) voicesRenderLanes(synth, scratch.lanes, voices, count, n);
    for (int32_t c = 0; c < synthChannelCount; ++c) {
        if (!synth.channelSounds[c] || synth.channelPart[c] != part) continue;
        // A channel whose last voice has just finished is silent, effects and all.
        if (!channelHasVoice(synth, c, voices, count)) {
            synth.channelSounds[c] = false;
            continue;
        }
        float* buffer = synth.channelOut[c];
        std::fill_n(buffer, 2 * n, 0.0f);
        for (int32_t a = 0; a < count; ++a) {
            const int32_t v = voices[a];
            if (synth.voiceChannel[v] != c) continue;
            if (lanes) voiceAddFromLanes(scratch.lanes, v, buffer, n);
            else voiceRender(synth.voices[v], scratch.voiceBuffer, scratch.voiceBuffer2, buffer, n);
        }
        if (c == synthChannelCount - 1) speechRender(synth.speech, buffer, n);
        if (!lanes) channelFxChain(synth, c, buffer, scratch.levels, n);
    }
    if (lanes) channelFxFinishPart(synth, scratch, part, n);
}

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
