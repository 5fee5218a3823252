// The speech voice's signal path: resonators, noise, and the per-sample
// formant bank that replaces channel 16's voice sum.
#include <cmath>
#include <cstring>
#include "synth/speech.h"
#include "synth/voice/math.h"

void resonatorSet(Resonator& res, float frequency, float bandwidth, float gain,
                  float piOverRate, float twoPiOverRate) {
    const float r = static_cast<float>(std::exp(static_cast<double>(-(bandwidth * piOverRate))));
    const float angle = frequency * twoPiOverRate;
    res.c = -(r * r);
    res.b = (2.0f * r) * static_cast<float>(std::cos(static_cast<double>(angle)));
    res.a = ((1.0f - res.b) - res.c) * gain;
}

float resonatorStep(const Resonator& res, float (&state)[2], float input) {
    const float y = (res.c * state[1] + res.b * state[0]) + res.a * input;
    state[1] = state[0];
    state[0] = y;
    return y;
}

float speechLevelGain(float level) { return pow2((level - 70.0f) / 6.0f); }

namespace {

constexpr float dcCoefficient = 0.012f;

// Linear congruential generator read as a float in [2, 4), centred and
// smoothed by a one-pole low-pass.
float speechNoise(SpeechVoice& speech) {
    speech.noiseSeed = speech.noiseSeed * 196314165u + 907633515u;
    const uint32_t bits = (speech.noiseSeed >> 9) | 0x40000000u;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    speech.noiseState = (value - 3.0f) + 0.75f * speech.noiseState;
    return 0.25f * speech.noiseState;
}

Resonator resonatorDelta(const Resonator& to, const Resonator& from, float scale) {
    return {(to.a - from.a) * scale, (to.b - from.b) * scale, (to.c - from.c) * scale};
}

// Per-sample steps that bring `current` to `target` over one frame.
SpeechParams rampSteps(const SpeechParams& target, const SpeechParams& current, float scale) {
    SpeechParams step;
    for (int32_t k = 0; k < speechResonatorCount; ++k)
        step.res[k] = resonatorDelta(target.res[k], current.res[k], scale);
    step.av = (target.av - current.av) * scale;
    step.ah = (target.ah - current.ah) * scale;
    step.af = (target.af - current.af) * scale;
    step.ab = (target.ab - current.ab) * scale;
    return step;
}

void addSteps(SpeechParams& current, const SpeechParams& step) {
    for (int32_t k = 0; k < speechResonatorCount; ++k) {
        current.res[k].a += step.res[k].a;
        current.res[k].b += step.res[k].b;
        current.res[k].c += step.res[k].c;
    }
    current.av += step.av;
    current.ah += step.ah;
    current.af += step.af;
    current.ab += step.ab;
}

// One output sample from excitation m (the left sample of the voice sum).
float speechSample(SpeechVoice& speech, float m) {
    const SpeechParams& p = speech.current;
    const float e = m * p.av + speechNoise(speech) * p.ah;
    float acc = resonatorStep(p.res[0], speech.state[0], e) +
                resonatorStep(p.res[1], speech.state[1], e);
    // The upper formants hear the differentiated excitation plus frication.
    const float s = (e + speechNoise(speech) * p.af) - speech.prevExcitation;
    speech.prevExcitation = e;
    // Parallel bank with alternating signs: + N + F1 - F2 + F3 - F4 + F5 - F6.
    for (int32_t k = 2; k < speechResonatorCount; ++k)
        acc = resonatorStep(p.res[k], speech.state[k], s) - acc;
    const float v = s * p.ab - acc;
    const float u = v - speech.dcState1;
    speech.dcState1 += dcCoefficient * u;
    const float h = u - speech.dcState2;
    speech.dcState2 += dcCoefficient * h;
    return resonatorStep(speech.output, speech.outState, h) - h;
}

}  // namespace

void speechRender(SpeechVoice& speech, float* channelBuffer, int32_t n) {
    if (n <= 0) return;
    const SpeechParams step = rampSteps(speech.target, speech.current, 1.0f / static_cast<float>(n));
    for (int32_t i = 0; i < n; ++i) {
        addSteps(speech.current, step);
        const float out = speechSample(speech, channelBuffer[2 * i]);
        channelBuffer[2 * i] = out;
        channelBuffer[2 * i + 1] = out;
    }
}
