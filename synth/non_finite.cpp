#include "synth/non_finite.h"
#include <cmath>
#include <cstring>
#include <initializer_list>
#include "synth/synth.h"

namespace {

bool allFinite(const float* values, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

bool allFinite(std::initializer_list<float> values) {
    return allFinite(values.begin(), static_cast<int32_t>(values.size()));
}

// A pair of signal states the guard clears together when either is not finite.
void clearPair(float& a, float& b) {
    if (!allFinite({a, b})) a = b = 0.0f;
}

// Calls visit(a, b) for every such pair of a distortion unit (its filters'
// states, its held samples), then of a voice (its noise filters, its
// filters, its distortion's).
template <class Unit, class Visit>
void distortionStates(Unit& dist, Visit visit) {
    visit(dist.filterA.low, dist.filterA.band);
    visit(dist.filterB.low, dist.filterB.band);
    visit(dist.heldLeft, dist.heldRight);
}

template <class Voice, class Visit>
void voiceStates(Voice& voice, Visit visit) {
    for (auto& osc : voice.osc) visit(osc.noiseLow, osc.noiseBand);
    for (auto& filter : voice.filter) visit(filter.low, filter.band);
    distortionStates(voice.dist, visit);
}

void clearDistortion(Distortion& dist) { distortionStates(dist, clearPair); }

void clearVoice(SynthVoice& voice) { voiceStates(voice, clearPair); }

void clearBoost(BassBoost& b) {
    if (allFinite({b.x1L, b.x1R, b.x2L, b.x2R, b.y1L, b.y1R, b.y2L, b.y2R})) return;
    b.x1L = b.x1R = b.x2L = b.x2R = b.y1L = b.y1R = b.y2L = b.y2R = 0.0f;
}

void clearModDelay(ModDelay& unit) {
    if (!allFinite(unit.lineL, unit.mask + 1) || !allFinite(unit.lineR, unit.mask + 1)) modDelayClear(unit);
}

void clearCompressor(Compressor& c) {
    if (allFinite({c.gainL, c.gainR, c.peakL, c.peakR, c.rmsSumL, c.rmsSumR}) &&
        allFinite(c.lookLine, 2 * compressorLookLength) && allFinite(c.rmsWindow, 2 * compressorRmsLength))
        return;
    compressorClear(c);
}

void clearReverb(Reverb& r) {
    if (!allFinite(r.lines, reverbLineTotal) || !allFinite(r.combState, 8) || !allFinite(r.lowCutState, 2))
        reverbClear(r);
}

void clearOutputCuts(Synth& synth) {
    if (allFinite({synth.lowCutStateL, synth.lowCutStateR, synth.highCutStateL, synth.highCutStateR})) return;
    synth.lowCutStateL = synth.lowCutStateR = synth.highCutStateL = synth.highCutStateR = 0.0f;
}

// The formant bank's filter states; its text position and targets stay.
void clearSpeech(SpeechVoice& s) {
    bool finite = allFinite({s.prevExcitation, s.dcState1, s.dcState2, s.outState[0], s.outState[1]});
    for (const auto& state : s.state) finite = finite && allFinite(state, 2);
    if (finite) return;
    for (auto& state : s.state) state[0] = state[1] = 0.0f;
    s.prevExcitation = s.dcState1 = s.dcState2 = s.outState[0] = s.outState[1] = 0.0f;
}

}  // namespace

bool silenceNonFinite(float* samples, int32_t count) {
    // A first pass without branches (which the compiler can run in lanes)
    // finds whether any sample needs mending: almost never.
    uint32_t infiniteOrNaN = 0;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        infiniteOrNaN |= static_cast<uint32_t>((bits & 0x7F800000u) == 0x7F800000u);
    }
    if (infiniteOrNaN == 0) return false;
    bool found = false;
    for (int32_t i = 0; i < count; ++i) {
        if (std::isfinite(samples[i])) continue;
        samples[i] = 0.0f;
        found = true;
    }
    return found;
}

bool voiceStatesFinite(const Synth& synth) {
    bool finite = true;
    for (const SynthVoice& voice : synth.voices)
        voiceStates(voice, [&](float a, float b) { finite = finite && allFinite({a, b}); });
    return finite;
}

void synthClearNonFinite(Synth& synth, bool voices) {
    if (voices)
        for (SynthVoice& voice : synth.voices) clearVoice(voice);
    for (SynthChannel& channel : synth.channels) {
        clearBoost(channel.boost);
        clearDistortion(channel.distortion);
        clearModDelay(channel.chorus);
        clearCompressor(channel.compressor);
    }
    clearSpeech(synth.speech);
    clearReverb(synth.reverb);
    clearModDelay(synth.delay);
    clearOutputCuts(synth);
    clearCompressor(synth.masterCompressor);
}
