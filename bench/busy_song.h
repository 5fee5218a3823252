#pragma once
// The benchmark's busy song, a short song that keeps every unit busy: 16
// channels with two voices each (32 in all), every oscillator, filter, distortion and LFO mode
// across the channels, both filter routings, every channel effect, the
// reverb, the global delay, the master compressor, program changes, pitch
// bends and controllers, and speech on channel 16. Its tails die away
// within a few seconds of its end.
#include <cstdint>
#include <vector>
#include "player/module_writer.h"
#include "synth/param_index.h"

namespace busy {

inline uint8_t& channelByte(PatchRecord& patch, int32_t param) {
    return patch.channel[size_t(param - voiceParamCount)];
}

// variant picks the modes, so that across 16 channels each one is used.
inline PatchRecord patch(int32_t variant) {
    PatchRecord p;
    auto& v = p.voice;
    v[voicePanning] = uint8_t(32 + 4 * variant);
    v[voiceTranspose] = 64;
    const uint8_t modes[3] = {uint8_t(1 + variant % 5), uint8_t(1 + (variant + 1) % 5),
                              uint8_t(variant % 7)};
    for (int32_t o = 0; o < 3; ++o) {
        const int32_t base = osc1Mode + 6 * o;
        v[size_t(base)] = modes[o];
        v[size_t(base + 2)] = uint8_t(64 + 12 * o);  // transpose
        v[size_t(base + 3)] = uint8_t(60 + 3 * o);   // detune
        v[size_t(base + 4)] = 40;                    // colour
        v[size_t(base + 5)] = 70;                    // volume
    }
    v[osc2RingMod] = uint8_t(variant & 1);
    v[osc3RingMod] = uint8_t((variant >> 1) & 1);
    v[flt1Mode] = uint8_t(1 + variant % 5);
    v[flt1Cutoff] = 90;
    v[flt1Resonance] = 60;
    v[flt2Mode] = uint8_t(1 + (variant + 2) % 5);
    v[flt2Cutoff] = 70;
    v[flt2Resonance] = 80;
    v[voiceFilterRouting] = uint8_t(variant % 3);  // single, serial, parallel
    v[voiceFilterBalance] = 64;
    v[vdistMode] = uint8_t(1 + variant % 9);
    v[vdistInGain] = 40;
    v[vdistParam1] = 64;
    v[vdistParam2] = 64;
    v[eg1Attack] = 10;
    v[eg1Decay] = 60;
    v[eg1Sustain] = 110;
    v[eg1SustainTime] = 64;
    v[eg1Release] = 40;
    v[eg1Gain] = 127;
    v[eg2Attack] = 30;
    v[eg2Decay] = 50;
    v[eg2Sustain] = 80;
    v[eg2SustainTime] = 64;
    v[eg2Release] = 40;
    v[eg2Gain] = 127;
    v[lfo1Mode] = uint8_t(variant % 5);
    v[lfo1KeySync] = uint8_t(variant & 1);
    v[lfo1EnvMode] = uint8_t((variant >> 2) & 1);
    v[lfo1Rate] = 70;
    v[lfo1Polarity] = uint8_t(variant % 3);
    v[lfo1Amplitude] = 40;
    v[lfo2Mode] = uint8_t((variant + 3) % 5);
    v[lfo2Rate] = 50;
    v[lfo2Amplitude] = 30;
    channelByte(p, chanVolume) = 80;
    channelByte(p, chanReverbSend) = 50;
    channelByte(p, chanDelaySend) = 40;
    channelByte(p, chanFxOrder) = uint8_t(variant & 1);
    channelByte(p, boostAmount) = 60;
    channelByte(p, cdistMode) = uint8_t(1 + (variant + 4) % 9);
    channelByte(p, cdistInGain) = 32;
    channelByte(p, cdistParam1) = 64;
    channelByte(p, cdistParam2) = 64;
    channelByte(p, chorusAmount) = 90;
    channelByte(p, chorusFeedback) = 80;
    channelByte(p, chorusDelayL) = 30;
    channelByte(p, chorusDelayR) = 40;
    channelByte(p, chorusModRate) = 60;
    channelByte(p, chorusModDepth) = 40;
    channelByte(p, chorusModPhase) = 64;
    channelByte(p, compMode) = uint8_t(1 + variant % 2);  // peak or RMS
    channelByte(p, compStereoLink) = uint8_t(variant & 1);
    channelByte(p, compAutoGain) = 1;
    channelByte(p, compLookahead) = 10;
    channelByte(p, compThreshold) = 50;
    channelByte(p, compRatio) = 80;
    channelByte(p, compAttack) = 20;
    channelByte(p, compRelease) = 50;
    channelByte(p, compOutGain) = 64;
    p.polyphony = 2;
    p.routings = {{10, 100, flt1Cutoff}, {11, 90, voicePanning}, {9, 110, flt2Cutoff},
                  {12, 80, osc1Color}, {0, 90, osc2Volume}, {1, 100, chanVolume},
                  {2, 80, cdistParam1}};
    return p;
}

inline std::vector<uint8_t> globals() {
    std::vector<uint8_t> g(globalParamCount, 0);
    g[rvbTime] = 60;
    g[rvbHighCut] = 80;
    g[rvbLowCut] = 20;
    g[rvbVolume] = 80;
    g[dlyAmount] = 90;
    g[dlyFeedback] = 60;
    g[dlyLengthL] = 40;
    g[dlyLengthR] = 52;
    g[dlyModRate] = 30;
    g[dlyModDepth] = 20;
    g[dlyModPhase] = 64;
    g[globalLowCut] = 10;
    g[globalHighCut] = 110;
    g[mcompMode] = 2;
    g[mcompAutoGain] = 1;
    g[mcompLookahead] = 10;
    g[mcompThreshold] = 80;
    g[mcompRatio] = 64;
    g[mcompAttack] = 10;
    g[mcompRelease] = 40;
    g[mcompOutGain] = 64;
    return g;
}

// noteTicks: how long the two notes of every channel are held (96 ticks
// per beat at the default tempo: 96 ticks are half a second).
inline ModuleSource source(uint32_t noteTicks = 288) {
    ModuleSource s;
    s.globalParams = globals();
    std::vector<PatchRecord> patches;
    for (int32_t c = 0; c < 16; ++c) patches.push_back(patch(c));
    s.patchBlock = buildPatchBank(patches);
    s.speechTexts = {"hh eh l ow w er l d", "t eh s t"};
    for (int32_t c = 0; c < 16; ++c) {
        ChannelEvents& channel = s.channels[size_t(c)];
        // A program change halfway through switches to the next patch.
        channel.programs = {{0, uint8_t(c)}, {noteTicks / 2, uint8_t((c + 1) % 16)}};
        channel.bends = {{0, 0, 64}, {noteTicks / 3, 0, 80}};
        for (size_t k = 0; k < 7; ++k)
            channel.controllers[k] = {{0, uint8_t(10 * k)}, {noteTicks / 4, uint8_t(10 * k + 30)}};
        const uint8_t key = uint8_t(40 + 3 * c);
        channel.notes = {{0, key, 100}, {0, uint8_t(key + 7), 90},
                         {noteTicks / 2, key, 0}, {noteTicks / 2, key, 110},
                         {noteTicks, key, 0}, {noteTicks, uint8_t(key + 7), 0}};
    }
    return s;
}

}  // namespace busy
