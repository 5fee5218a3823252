#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <memory>
#include <vector>
#include "player/module_writer.h"
#include "synth/fx/channel_fx.h"
#include "synth/param_index.h"
#include "synth/synth.h"

namespace {

// Channel bytes with every unit neutral: volume 100, no sends, distortion,
// chorus, compressor and boost off.
uint8_t& channelByte(PatchRecord& p, int32_t param) { return p.channel[param - chanVolume]; }

PatchRecord neutralPatch() {
    PatchRecord p;
    for (int32_t param : {cdistInGain, chorusAmount, chorusFeedback, chorusModPhase, compThreshold, compOutGain})
        channelByte(p, param) = param == cdistInGain ? 32 : 64;
    channelByte(p, chanVolume) = 100;
    p.polyphony = 4;
    return p;
}

// A synth on one patch (program 0 of every channel), with globals that keep
// the bus quiet apart from the channels: no reverb, no delay, the low cut a
// first difference, no high cut, master compressor off.
struct SynthRig {
    std::unique_ptr<Synth> synth = std::make_unique<Synth>();
    std::vector<uint8_t> bank;

    explicit SynthRig(const PatchRecord& patch) : bank(buildPatchBank({patch})) {
        synthInit(*synth, bank.data(), static_cast<uint32_t>(bank.size()), 44100);
        std::array<uint8_t, 22> globals{};
        globals[dlyAmount] = 64;
        globals[globalLowCut] = 127;
        globals[globalHighCut] = 127;
        synthSetGlobals(*synth, globals.data());
    }
    // The chain of channel 0 over a given stereo frame, with the buses pre-set.
    void process(const std::vector<float>& stereo, float busValue) {
        channelFxUpdate(*synth, 0);
        const int32_t n = static_cast<int32_t>(stereo.size() / 2);
        std::copy(stereo.begin(), stereo.end(), synth->channelBuffer);
        std::fill_n(synth->mainMix, 2 * n, 0.0f);
        std::fill_n(synth->reverbBus, n, busValue);
        std::fill_n(synth->delayBus, n, busValue);
        channelFxProcess(*synth, 0, n);
    }
};

std::vector<float> testFrame() {
    std::vector<float> v(256);
    for (int32_t i = 0; i < 128; ++i) {
        v[2 * i] = 0.5f * std::sin(0.05f * i);
        v[2 * i + 1] = 0.25f * std::cos(0.03f * i);
    }
    return v;
}

TEST(ChannelChain, SendsOfZeroAddNothingAndOthersAddThePlainSum) {
    PatchRecord patch = neutralPatch();
    SynthRig rig(patch);
    const std::vector<float> in = testFrame();
    rig.process(in, 0.125f);
    const float volume = 100.0f / 128.0f * 0.6f;
    for (int32_t i = 0; i < 128; ++i) {
        ASSERT_EQ(rig.synth->reverbBus[i], 0.125f);
        ASSERT_EQ(rig.synth->delayBus[i], 0.125f);
        ASSERT_EQ(rig.synth->mainMix[2 * i], in[2 * i] * volume);
        ASSERT_EQ(rig.synth->mainMix[2 * i + 1], in[2 * i + 1] * volume);
    }

    channelByte(patch, chanDelaySend) = 64;
    SynthRig sending(patch);
    sending.process(in, 0.0f);
    const float send = 64.0f / 128.0f * 0.6f * volume;  // post-fader
    for (int32_t i = 0; i < 128; ++i) {
        ASSERT_EQ(sending.synth->reverbBus[i], 0.0f);
        ASSERT_FLOAT_EQ(sending.synth->delayBus[i], (in[2 * i] + in[2 * i + 1]) * send) << i;
    }
}

TEST(ChannelChain, EffectOrderDecidesWhatTheDistortionSees) {
    // Clip at 1 (gain 1, no bias) and a half-wet chorus 16 samples late.
    PatchRecord patch = neutralPatch();
    channelByte(patch, cdistMode) = 2;
    channelByte(patch, cdistParam1) = 128;
    channelByte(patch, cdistParam2) = 64;
    channelByte(patch, chorusAmount) = 96;
    channelByte(patch, chorusDelayL) = 2;
    channelByte(patch, chorusDelayR) = 2;
    std::vector<float> click(256, 0.0f);
    click[0] = click[1] = 1.5f;
    for (uint8_t order : {0, 1}) {
        channelByte(patch, chanFxOrder) = order;
        SynthRig rig(patch);
        rig.process(click, 0.0f);
        const float* out = rig.synth->channelBuffer;
        // Order 0 clips the dry click, then mixes: 0.5 now and 0.5 later.
        // Order 1 mixes first (0.75 and 0.75), which the clip leaves alone.
        const float expected = order == 0 ? 0.5f : 0.75f;
        EXPECT_EQ(out[0], expected) << int(order);
        EXPECT_EQ(out[1], expected) << int(order);
        EXPECT_EQ(out[2 * 16 + 1], expected) << int(order);
        EXPECT_EQ(out[2 * 15], expected) << int(order);
    }
}

TEST(ChannelChain, ChannelWithoutVoicesContributesNothingChorusTailIncluded) {
    PatchRecord patch = neutralPatch();
    // A sine held at full level, released at once.
    for (int32_t param : {voicePanning, voiceTranspose, osc1Transpose, osc1Detune, eg1SustainTime})
        patch.voice[param] = 64;
    patch.voice[osc1Mode] = 3;
    patch.voice[osc1Volume] = 100;
    patch.voice[eg1Sustain] = patch.voice[eg1Gain] = 128;
    channelByte(patch, chorusAmount) = 100;
    channelByte(patch, chorusFeedback) = 124;  // a long tail
    channelByte(patch, chorusDelayL) = 20;
    channelByte(patch, chorusDelayR) = 30;
    SynthRig rig(patch);
    Synth& s = *rig.synth;
    std::vector<float> frame(256);
    const uint8_t noteOn[] = {0x90, 60, 100, 0xFD}, noteOff[] = {0x90, 60, 0, 0xFD};
    synthProcessCommands(s, noteOn);
    for (int32_t f = 0; f < 20; ++f) synthRender(s, frame.data(), 128, nullptr, 0);
    double level = 0;
    for (float v : frame) level = std::max(level, std::fabs(static_cast<double>(v)));
    ASSERT_GT(level, 1e-4);  // small: the output cut is a first difference here

    synthProcessCommands(s, noteOff);
    int32_t frames = 0;
    while (s.voiceChannel[0] >= 0 && frames++ < 1000) synthRender(s, frame.data(), 128, nullptr, 0);
    ASSERT_LT(s.voiceChannel[0], 0);
    // The voice was freed at this frame's start: only the first difference of
    // the output cut still sees the previous frame's last sample.
    for (int32_t i = 2; i < 256; ++i) ASSERT_EQ(frame[i], 0.0f) << i;
    const int32_t writeIndex = s.channels[0].chorus.writeIndex;
    synthRender(s, frame.data(), 128, nullptr, 0);
    for (float v : frame) ASSERT_EQ(v, 0.0f);
    // The chorus tail is still in the lines, frozen.
    EXPECT_EQ(s.channels[0].chorus.writeIndex, writeIndex);
    double tail = 0;
    for (float v : s.chorusLines[0][0]) tail = std::max(tail, std::fabs(static_cast<double>(v)));
    EXPECT_GT(tail, 1e-3);
}

}  // namespace
