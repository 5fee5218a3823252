#include "synth/voice/voice.h"
#include <cmath>
#include "synth/voice/math.h"

namespace {

constexpr float inv128 = 0.0078125f;

void setOscillatorNotes(SynthVoice& voice) {
    const float key = static_cast<float>(voice.note) + voice.transpose;
    for (Oscillator& osc : voice.osc) osc.note = key;
}

void setupPan(SynthVoice& voice, float pan) {
    const float x = pan / 128.0f;
    voice.gainLeft = std::sqrt(1.0f - x);
    voice.gainRight = std::sqrt(x);
}

// Balance 64 weighs both filters fully; below it filter 2 fades, above it filter 1.
void setupBalance(SynthVoice& voice, float balance) {
    const float d = (balance - 64.0f) * 0.015625f;
    if (roundInt(balance - 64.0f) >= 0) {
        voice.filter1Gain = 1.0f - d;
        voice.filter2Gain = 1.0f;
    } else {
        voice.filter1Gain = 1.0f;
        voice.filter2Gain = 1.0f + d;
    }
}

// Each unit's set-up, run only when its inputs changed since the last frame.
void setupOscillator(Oscillator& osc, SetupInputs<9>& last, const float* p, const RateConstants& rates) {
    const float inputs[9] = {p[0], p[1], p[2], p[3], p[4], p[5], osc.note, rates.rateScale, rates.pitchBase};
    if (setupInputsChanged(last, inputs)) oscSetup(osc, p, rates);
}

void setupFilter(Filter& filter, SetupInputs<4>& last, const float* p, const RateConstants& rates) {
    const float inputs[4] = {p[0], p[1], p[2], rates.rateScale};
    if (setupInputsChanged(last, inputs)) filterSetup(filter, p, rates);
}

void setupEnvelope(Envelope& env, SetupInputs<6>& last, const float* p) {
    const float inputs[6] = {p[0], p[1], p[2], p[3], p[4], p[5]};
    if (setupInputsChanged(last, inputs)) envSetup(env, p);
}

void setupLfo(Lfo& lfo, SetupInputs<7>& last, const float* p) {
    const float inputs[7] = {p[0], p[1], p[2], p[3], p[4], p[5], p[6]};
    if (setupInputsChanged(last, inputs)) lfoSetup(lfo, p);
}

void setupDistortion(Distortion& dist, SetupInputs<5>& last, const float* p, const RateConstants& rates) {
    const float inputs[5] = {p[0], p[1], p[2], p[3], rates.rateScale};
    if (setupInputsChanged(last, inputs)) distSetup(dist, p, rates);
}

void runFilters(SynthVoice& voice, float* voiceBuffer, float* voiceBuffer2, int32_t n) {
    if (voice.filterRouting == voiceRoutingParallel) {
        filterProcess(voice.filter[1], voiceBuffer, voiceBuffer2, n);
    }
    filterProcess(voice.filter[0], voiceBuffer, voiceBuffer, n);
    if (voice.filterRouting == voiceRoutingSingle) return;
    if (voice.filterRouting == voiceRoutingParallel) {
        const float gain1 = voice.filter1Gain;
        const float gain2 = voice.filter2Gain;
        for (int32_t i = 0; i < n; ++i) voiceBuffer[i] = voiceBuffer[i] * gain1 + voiceBuffer2[i] * gain2;
    } else {
        filterProcess(voice.filter[1], voiceBuffer, voiceBuffer, n);
    }
}

}  // namespace

void voiceReset(SynthVoice& voice, SeedSource& seeds) {
    for (Oscillator& osc : voice.osc) oscInit(osc, seeds);
    for (Envelope& env : voice.env) envInit(env);
    for (Filter& filter : voice.filter) filterInit(filter);
    for (Lfo& lfo : voice.lfo) lfoInit(lfo, seeds);
    distInit(voice.dist);
    voice.setupInputs = {};
}

void voiceSetup(SynthVoice& voice, const float* p, const RateConstants& rates) {
    voice.transpose = p[1] - 64.0f;
    setOscillatorNotes(voice);
    voice.filterRouting = roundInt(p[26]);
    voice.keySync = roundInt(p[58]);
    setupPan(voice, p[0]);
    setupBalance(voice, p[27]);
    VoiceSetupInputs& last = voice.setupInputs;
    setupOscillator(voice.osc[0], last.osc[0], p + 2, rates);
    setupOscillator(voice.osc[1], last.osc[1], p + 8, rates);
    setupOscillator(voice.osc[2], last.osc[2], p + 14, rates);
    setupEnvelope(voice.env[0], last.env[0], p + 32);
    setupEnvelope(voice.env[1], last.env[1], p + 38);
    setupFilter(voice.filter[0], last.filter[0], p + 20, rates);
    setupFilter(voice.filter[1], last.filter[1], p + 23, rates);
    setupLfo(voice.lfo[0], last.lfo[0], p + 44);
    setupLfo(voice.lfo[1], last.lfo[1], p + 51);
    setupDistortion(voice.dist, last.dist, p + 28, rates);
}

void voiceNoteOn(SynthVoice& voice, int32_t note, int32_t velocity, const RateConstants& rates) {
    voice.note = note;
    setOscillatorNotes(voice);
    voice.velocity = static_cast<float>(velocity);
    voice.gate = 1;
    // Attack restarts from the current level: a retriggered note does not jump.
    voice.env[0].state = 1;
    voice.env[1].state = 1;
    if (voice.keySync != 0) {
        for (Oscillator& osc : voice.osc) osc.phase = 0;
    }
    for (Oscillator& osc : voice.osc) oscUpdatePitch(osc, rates);
    for (Lfo& lfo : voice.lfo) lfoNoteOn(lfo);
}

void voiceNoteOff(SynthVoice& voice) { voice.gate = 0; }

void voiceTick(SynthVoice& voice) {
    envTick(voice.env[0], voice.gate);
    envTick(voice.env[1], voice.gate);
    lfoTick(voice.lfo[0]);
    lfoTick(voice.lfo[1]);
    // Aim the amplitude at envelope 1's output over one 128-sample frame.
    voice.ampStep = (voice.env[0].out * inv128 - voice.ampCurrent) * inv128;
}

void voiceOscillators(SynthVoice& voice, float* buffer, int32_t n) {
    for (int32_t i = 0; i < n; ++i) buffer[i] = 0.0f;
    for (Oscillator& osc : voice.osc) oscRender(osc, buffer, n);
}

void voiceMix(SynthVoice& voice, const float* buffer, float* channelBuffer, int32_t n) {
    // Locals: through the voice they would be reloaded after every store.
    float amp = voice.ampCurrent;
    const float step = voice.ampStep;
    const float gainLeft = voice.gainLeft;
    const float gainRight = voice.gainRight;
    for (int32_t i = 0; i < n; ++i) {
        const float s = buffer[i] * amp;
        amp += step;
        channelBuffer[2 * i] += s * gainLeft;
        channelBuffer[2 * i + 1] += s * gainRight;
    }
    voice.ampCurrent = amp;
}

void voiceRender(SynthVoice& voice, float* voiceBuffer, float* voiceBuffer2,
                 float* channelBuffer, int32_t n) {
    voiceOscillators(voice, voiceBuffer, n);
    runFilters(voice, voiceBuffer, voiceBuffer2, n);
    distProcessMono(voice.dist, voiceBuffer, voiceBuffer, n);
    voiceMix(voice, voiceBuffer, channelBuffer, n);
}
