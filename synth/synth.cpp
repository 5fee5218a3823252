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

// A rough cost of a sounding channel's part of the frame, for sharing the
// channels among parts: its effects and, on the last channel, the speech
// voice (which costs about as much as the other effects of all channels).
int32_t channelCost(const Synth& synth, int32_t c) {
    const SynthChannel& ch = synth.channels[c];
    const int32_t distortion = ch.distortion.mode >= 1 && ch.distortion.mode <= 9;
    const int32_t speech = c == synthChannelCount - 1 ? 9 : 0;
    return 1 + (ch.chorus.wet != 0.0f) + distortion + speech;
}

// The voice parts: the active voices sorted by their oscillator modes (as
// the lanes lay them out) and cut into groups of whole vectors, one group
// per thread at most, so that each vector holds voices of few modes.
void planVoices(Synth& synth, int32_t parity, int32_t threads) {
    int32_t active[synthVoiceCount];
    int32_t count = 0;
    for (int32_t v = 0; v < synthVoiceCount; ++v)
        if (synth.voiceChannel[v] >= 0) active[count++] = v;
    // One group needs no order: the lanes sort their voices themselves.
    int32_t sorted[synthVoiceCount];
    if (threads > 1) voicesByModes(synth, active, count, sorted);
    else std::copy_n(active, count, sorted);
    const int32_t perThread = (count + threads - 1) / threads;
    const int32_t group = std::max(1, (perThread + filterLaneQuantum - 1) / filterLaneQuantum) * filterLaneQuantum;
    for (int32_t a = 0; a < count; ++a) synth.voicePart[parity][sorted[a]] = a / group;
    synth.voiceParts[parity] = (count + group - 1) / group;
}

// The channel parts: the channels that have a voice after the voices'
// updates, costliest first, each given to the part with the least cost so
// far. Channels without voices are skipped whole, effects and all, so their
// effect tails stop with their last voice.
void planChannels(Synth& synth, int32_t threads) {
    int32_t cost[synthChannelCount] = {};
    int32_t sounding = 0;
    std::copy_n(synth.voiceChannel, synthVoiceCount, synth.channelOfVoice);
    for (int32_t c = 0; c < synthChannelCount; ++c) synth.channelSounds[c] = false;
    for (int32_t v = 0; v < synthVoiceCount; ++v)
        if (synth.channelOfVoice[v] >= 0) synth.channelSounds[synth.channelOfVoice[v]] = true;
    for (int32_t c = 0; c < synthChannelCount; ++c) sounding += synth.channelSounds[c];
    synth.channelParts = std::min(threads, sounding);
    if (synth.channelParts <= 1) {
        std::fill_n(synth.channelPart, synthChannelCount, 0);
        return;
    }
    for (int32_t c = 0; c < synthChannelCount; ++c)
        if (synth.channelSounds[c]) cost[c] = channelCost(synth, c);
    int32_t load[synthChannelCount] = {};
    for (int32_t placed = 0; placed < sounding; ++placed) {
        int32_t c = 0;
        for (int32_t d = 1; d < synthChannelCount; ++d)
            if (cost[d] > cost[c]) c = d;
        int32_t part = 0;
        for (int32_t p = 1; p < synth.channelParts; ++p)
            if (load[p] < load[part]) part = p;
        synth.channelPart[c] = part;
        load[part] += cost[c];
        cost[c] = 0;
    }
}

// Frames with fewer voices than this run on one thread: their work is a few
// microseconds, and handing part of it to another core (the wake, the rows
// moving between caches) costs more than it saves.
constexpr int32_t crewMinVoices = 8;

// The threads a frame runs on.
int32_t frameThreads(const Synth& synth) {
    if (!synth.crew) return 1;
    const int32_t voices = static_cast<int32_t>(
        std::count_if(synth.voiceChannel, synth.voiceChannel + synthVoiceCount, [](int32_t c) { return c >= 0; }));
    return voices < crewMinVoices ? 1 : frameCrewThreads(*synth.crew);
}

// Control-rate work of a frame start: every channel, then the speech voice.
// The voices' own updates come with their rendering (renderVoicePart), on the
// thread that renders them: each reads only its voice, its channel's
// controllers and the patch.
void updateControls(Synth& synth) {
    for (int32_t c = 0; c < synthChannelCount; ++c) channelFxUpdate(synth, c);
    speechTick(synth.speech);
}

FrameScratch& partScratch(Synth& synth, int32_t part) {
    return part == 0 ? synth.scratch : frameCrewScratch(*synth.crew, part);
}

// The control-rate update of a voice part of the frame of the given parity,
// freeing those voices whose amplitude envelope has finished, then the
// rendering in lanes of those left, into that parity's rows.
void renderVoicePart(Synth& synth, int32_t parity, int32_t part, int32_t n) {
    int32_t voices[synthVoiceCount];
    int32_t count = 0;
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        if (synth.voiceChannel[v] < 0 || synth.voicePart[parity][v] != part) continue;
        voiceParamUpdate(synth, v);
        voiceTick(synth.voices[v]);
        if (synth.voices[v].env[0].state == 0) synth.voiceChannel[v] = -1;
        else voices[count++] = v;
    }
    if (synth.engine == SynthEngine::lanes)
        voicesRenderLanes(synth, partScratch(synth, part).lanes[parity], voices, count, n,
                          synth.frameStage == FrameStage::channelsBesideVoicesAhead);
}

// The deferred products of every voice part of the frame whose voices
// rendered into the rows of the given parity.
void panVoices(Synth& synth, int32_t parity, int32_t n) {
    if (synth.engine != SynthEngine::lanes) return;
    for (int32_t part = 0; part < synth.voiceParts[parity]; ++part)
        voicesMixLanes(partScratch(synth, part).lanes[parity], n);
}

// A channel part of the frame whose voices rendered into the rows of the
// given parity.
void renderChannelPart(Synth& synth, int32_t parity, int32_t part, int32_t n) {
    FrameScratch& scratch = partScratch(synth, part);
    const bool lanes = synth.engine == SynthEngine::lanes;
    for (int32_t c = 0; c < synthChannelCount; ++c) {
        if (synth.channelPart[c] != part || !synth.channelSounds[c]) continue;
        float* buffer = synth.channelOut[c];
        std::fill_n(buffer, 2 * n, 0.0f);
        for (int32_t v = 0; v < synthVoiceCount; ++v) {
            if (synth.channelOfVoice[v] != c) continue;
            if (lanes) voiceAddFromLanes(partScratch(synth, synth.voicePart[parity][v]).lanes[parity], v, buffer, n);
            else voiceRender(synth.voices[v], scratch.voiceBuffer, scratch.voiceBuffer2, buffer, n);
        }
        if (c == synthChannelCount - 1) speechRender(synth.speech, buffer, n);
        if (!lanes) channelFxChain(synth, c, buffer, scratch.levels, n);
    }
    if (lanes) channelFxFinishPart(synth, scratch, part, n);
}

// The reverb's and the delay's returns into the mix and the output cut over
// it, with nothing after (no master compressor): the delay's returns, which
// do not depend on the mix, are rendered first apart (onto -0, which adds
// nothing to any value, +0 and -0 included) and added in after the reverb's,
// inside the reverb's loop, which runs the output cut beside its recursions.
void busIntoMixWithCut(Synth& synth, OutputCut& cut, int32_t n) {
    float* delayReturns = synth.channelBuffer;  // free once the channels are mixed
    std::fill_n(delayReturns, 2 * n, -0.0f);
    modDelayLanesSend(synth.delay, synth.delayBus, delayReturns, n);
    reverbLanesProcess(synth.reverb, synth.reverbBus, synth.mainMix, n, {delayReturns, &cut});
}

// The frame's channel sends and volumes in channel order, then the global
// bus, into mainMix. When the next frame's voices render meanwhile, their
// states were finite at the end of this frame's, so the finite guard leaves
// them alone, as it would have.
void mixFrame(Synth& synth, int32_t n) {
    std::fill_n(synth.mainMix, 2 * n, 0.0f);
    std::fill_n(synth.reverbBus, n, 0.0f);
    std::fill_n(synth.delayBus, n, 0.0f);
    const auto mixChannel = synth.engine == SynthEngine::lanes ? channelFxMixLanes : channelFxMix;
    for (int32_t c = 0; c < synthChannelCount; ++c)
        if (synth.channelSounds[c]) mixChannel(synth, c, synth.channelOut[c], n);
    // Muted returns still run (their state goes on) into a discarded buffer.
    float* returns = synth.mainMix;
    if (synth.muteMask & effectsMuteBit) {
        returns = synth.channelBuffer;
        std::fill_n(returns, 2 * n, 0.0f);
    }
    if (synth.engine == SynthEngine::lanes) {
        OutputCut cut = outputCutOf(synth);
        if (returns == synth.mainMix && !compressorOn(synth.masterCompressor)) {
            busIntoMixWithCut(synth, cut, n);
        } else {
            reverbLanesProcess(synth.reverb, synth.reverbBus, returns, n);
            modDelayLanesSend(synth.delay, synth.delayBus, returns, n);
            compressorProcessFused(synth.masterCompressor, synth.mainMix, synth.scratch.levels, n, &cut);
        }
        outputCutStore(synth, cut);
    } else {
        reverbProcess(synth.reverb, synth.reverbBus, returns, n);
        modDelayProcessSend(synth.delay, synth.delayBus, returns, n);
        outputFilterProcess(synth, synth.mainMix, n);
        compressorProcess(synth.masterCompressor, synth.mainMix, synth.scratch.levels, n);
    }
    if (silenceNonFinite(synth.mainMix, 2 * n)) {
        synthClearNonFinite(synth, synth.frameStage != FrameStage::channelsBesideVoicesAhead);
        ++synth.nonFiniteFrames;
    }
}

// The tasks of one stage of the frame, on the crew's threads when there is
// more than one.
void runStage(Synth& synth, FrameStage stage, int32_t tasks, int32_t n) {
    synth.frameStage = stage;
    if (synth.crew && tasks > 1) frameCrewRender(*synth.crew, tasks, n);
    else
        for (int32_t task = 0; task < tasks; ++task) synthFrameTask(synth, task, n);
}

// The next frame's voices may render beside this frame's channels and mix
// (in rows of the other parity) when the next frame starts in the same
// render call, so no command comes between, and the finite guard cannot
// touch them (see mixFrame). Their updates read only their own state, their
// channel's controllers and the patch; the channels read their voices'
// channels as the plan copied them.
bool voicesMayRunAhead(const Synth& synth, int32_t threads, bool nextFrameFollows) {
    return nextFrameFollows && threads > 1 && synth.engine == SynthEngine::lanes && voiceStatesFinite(synth);
}

// One frame of n samples into mainMix: the voices (unless they rendered
// during the frame before), then the channels and the mix, on one thread
// beside the next frame's voices when they may run ahead, else shared
// among the threads and then the mix.
void renderFrame(Synth& synth, int32_t n, bool nextFrameFollows) {
    const int32_t parity = synth.frameParity;
    const int32_t threads = frameThreads(synth);
    if (!synth.voicesAhead) {
        planVoices(synth, parity, threads);
        runStage(synth, FrameStage::voices, synth.voiceParts[parity], n);
    }
    synth.voicesAhead = voicesMayRunAhead(synth, threads, nextFrameFollows);
    if (!synth.voicesAhead) {
        panVoices(synth, parity, n);
        planChannels(synth, threads);
        runStage(synth, FrameStage::channels, synth.channelParts, n);
        mixFrame(synth, n);
        return;
    }
    planChannels(synth, 1);
    synth.frameParity = parity ^ 1;
    planVoices(synth, parity ^ 1, threads - 1);
    runStage(synth, FrameStage::channelsBesideVoicesAhead, 1 + synth.voiceParts[parity ^ 1], n);
}

void startFrame(Synth& synth) {
    updateControls(synth);
    synth.renderFrameLength = synth.rates.frameLength;
    synth.frameLeft = synth.rates.frameLength;
    renderFrame(synth, synth.renderFrameLength, synth.renderLeft > uint32_t(synth.renderFrameLength));
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

void synthFrameTask(Synth& synth, int32_t task, int32_t n) {
    const int32_t parity = synth.frameParity;
    switch (synth.frameStage) {
        case FrameStage::voices:
            renderVoicePart(synth, parity, task, n);
            break;
        case FrameStage::channels:
            renderChannelPart(synth, parity, task, n);
            break;
        case FrameStage::channelsBesideVoicesAhead:
            // The parity is the next frame's already.
            if (task > 0) {
                renderVoicePart(synth, parity, task - 1, n);
                break;
            }
            panVoices(synth, parity ^ 1, n);
            renderChannelPart(synth, parity ^ 1, 0, n);
            mixFrame(synth, n);
            break;
    }
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
