#include "synth/fx/channel_fx.h"
#include <cstring>
#include "synth/params.h"
#include "synth/simd/add_lanes.h"
#include "synth/simd/mod_delay_lanes.h"
#include "synth/synth.h"
#include "synth/voice/math.h"

namespace {

constexpr float sendScale = 0.6f;

// bus[i] += (left + right) x gain; skipped when the gain is exactly zero.
void addSend(const float* stereo, float* bus, float gain, int32_t n) {
    if (gain == 0.0f) return;
    for (int32_t i = 0; i < n; ++i) bus[i] += (stereo[2 * i] + stereo[2 * i + 1]) * gain;
}

}  // namespace

void channelFxInit(Synth& synth, int32_t c) {
    synth.channelControls[c][7] = 127;
    SynthChannel& ch = synth.channels[c];
    modDelayBind(ch.chorus, synth.chorusLines[c][0], synth.chorusLines[c][1], chorusLineLength - 1);
    distInit(ch.distortion);
    modDelayClear(ch.chorus);
    compressorInit(ch.compressor);
}

void channelFxUpdate(Synth& synth, int32_t c) {
    SynthChannel& ch = synth.channels[c];
    const RateConstants& r = synth.rates;
    // The controller bytes as they are, not converted: sixteen channels a
    // frame, nearly all unchanged.
    uint32_t inputs[6] = {0, 0, setupInputBits(ch.reverbSend), setupInputBits(r.rateScale),
                          setupInputBits(r.boostSin), setupInputBits(r.boostCos)};
    std::memcpy(inputs, synth.channelControls[c], 2 * sizeof inputs[0]);
    if (!setupInputsChanged(ch.updateInputs, inputs)) return;
    channelParamUpdate(synth, c);
    channelFxSetup(synth, c);
}

void channelFxSetup(Synth& synth, int32_t c) {
    const float* cp = synth.channelParams[c];
    SynthChannel& ch = synth.channels[c];
    ch.volume = cp[0] / 128.0f * sendScale;
    ch.reverbSend = cp[1] / 128.0f * sendScale * ch.volume;
    ch.delaySend = cp[2] / 128.0f * sendScale * ch.volume;
    ch.fxOrder = roundInt(cp[3]);
    distSetup(ch.distortion, cp + 5, synth.rates);
    modDelaySetup(ch.chorus, cp + 9, synth.rates);
    compressorSetup(ch.compressor, cp + 16);
    bassBoostSetup(ch.boost, cp[4], synth.rates);
}

void channelFxProcess(Synth& synth, int32_t c, int32_t n) {
    channelFxChain(synth, c, synth.channelBuffer, synth.voiceBuffer, n);
    channelFxMix(synth, c, synth.channelBuffer, n);
}

void channelFxChain(Synth& synth, int32_t c, float* buffer, float* levels, int32_t n) {
    Compressor& comp = synth.channels[c].compressor;
    if (synth.engine == SynthEngine::lanes) compressorProcessFused(comp, buffer, levels, n);
    else compressorProcess(comp, buffer, levels, n);
    bassBoostProcess(synth.channels[c].boost, buffer, n);
    channelFxFinish(synth, c, buffer, n);
}

void channelFxFinish(Synth& synth, int32_t c, float* buffer, int32_t n) {
    SynthChannel& ch = synth.channels[c];
    const bool lanes = synth.engine == SynthEngine::lanes;
    auto chorus = [&] {
        if (lanes) modDelayLanesStereo(ch.chorus, buffer, n);
        else modDelayProcessStereo(ch.chorus, buffer, n);
    };
    if (ch.fxOrder != 0) chorus();
    distProcessStereo(ch.distortion, buffer, buffer, n);
    if (ch.fxOrder == 0) chorus();
}


void channelFxMix(Synth& synth, int32_t c, const float* buffer, int32_t n) {
    const SynthChannel& ch = synth.channels[c];
    if (synth.muteMask & (1u << c)) return;  // it played on, unheard
    addSend(buffer, synth.reverbBus, ch.reverbSend, n);
    addSend(buffer, synth.delayBus, ch.delaySend, n);
    const float volume = ch.volume;
    for (int32_t i = 0; i < 2 * n; ++i) synth.mainMix[i] += buffer[i] * volume;
}

void channelFxMixLanes(Synth& synth, int32_t c, const float* buffer, int32_t n) {
    const SynthChannel& ch = synth.channels[c];
    if (synth.muteMask & (1u << c)) return;
    if (ch.reverbSend != 0.0f) addSendLanesProcess(synth.reverbBus, buffer, ch.reverbSend, n);
    if (ch.delaySend != 0.0f) addSendLanesProcess(synth.delayBus, buffer, ch.delaySend, n);
    addScaledLanesProcess(synth.mainMix, buffer, ch.volume, 2 * n);
}
