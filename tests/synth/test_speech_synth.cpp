// The speech voice inside the synth: channel 16's notes excite it, its
// controllers reach it, and it is heard only while that channel has voices.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <vector>
#include "synth/voice/math.h"
#include "synth_test_support.h"

namespace {

struct SpeakingSynth {
    std::unique_ptr<Synth> synth = makeSynth();
    std::vector<uint8_t> bank;
    std::vector<uint8_t> globals = openGlobals();
    const char* texts[speechTextSlots] = {};

    explicit SpeakingSynth(const char* text) {
        PatchRecord patch = heldPatch();
        patch.voice[eg1Release] = 0;   // freed at the frame after its note off
        bank = buildPatchBank({patch});
        texts[0] = text;
        initSynth(*synth, bank);
        synthSetGlobals(*synth, globals.data());
        synthSetSpeechTexts(*synth, texts);
    }
    // Largest magnitude over the next `frames` frames.
    double render(int32_t frames) {
        std::vector<float> out(2 * static_cast<size_t>(synth->rates.frameLength));
        double peak = 0.0;
        for (int32_t k = 0; k < frames; ++k) {
            synthRender(*synth, out.data(), static_cast<uint32_t>(synth->rates.frameLength), nullptr, 0);
            for (float v : out) peak = std::max(peak, static_cast<double>(std::fabs(v)));
        }
        return peak;
    }
};

TEST(SpeechSynth, ChannelSixteenIsHeardOnlyWhileItsVoicesPlay) {
    SpeakingSynth s("aa");
    EXPECT_EQ(s.render(20), 0.0);
    EXPECT_EQ(s.synth->speech.curTarget, 4);   // it reads on while silent

    send(*s.synth, {0x9F, 60, 100, 0xFD});
    const double speaking = s.render(40);
    EXPECT_GT(speaking, 0.01);

    send(*s.synth, {0x8F, 60, 0, 0xFD});
    s.render(2);
    ASSERT_EQ(voicesOn(*s.synth, 15), 0);
    // What remains is the output low cut's state running down (a time
    // constant of 16384 samples): a creeping offset, no sound.
    std::vector<float> out(2 * static_cast<size_t>(s.synth->rates.frameLength) * 20);
    synthRender(*s.synth, out.data(), static_cast<uint32_t>(out.size() / 2), nullptr, 0);
    double change = 0.0;
    for (size_t i = 2; i < out.size(); ++i) change = std::max(change, std::fabs(double(out[i]) - out[i - 2]));
    EXPECT_LT(change, 1e-6 * speaking);
}

TEST(SpeechSynth, SpeechReplacesTheVoiceSumOfChannelSixteen) {
    // The same note on channel 1 and, with an empty text (silence target), on
    // channel 16: the silence target's levels leave next to nothing.
    SpeakingSynth plain("");
    send(*plain.synth, {0x90, 60, 100, 0xFD});
    const double voice = plain.render(20);
    SpeakingSynth silent("");
    send(*silent.synth, {0x9F, 60, 100, 0xFD});
    const double spoken = silent.render(20);
    EXPECT_GT(voice, 0.01);
    EXPECT_LT(spoken, 0.01 * voice);
}

TEST(SpeechSynth, ChannelSixteenMessagesDriveTheSpeechVoice) {
    SpeakingSynth s("ah_");
    SpeechVoice& speech = s.synth->speech;
    send(*s.synth, {0xBF, 4, 70, 0xB0, 4, 80, 0xBF, 5, 0, 0xFD});
    EXPECT_EQ(speech.speechSpeed, 7);              // channel 1's controller 4 is not the speech's
    EXPECT_FLOAT_EQ(speech.formantFactor, std::sqrt(0.5f));
    s.render(50);
    ASSERT_TRUE(speech.waitNoteOff);
    send(*s.synth, {0x9F, 60, 100, 0x8F, 60, 0, 0xFD});
    EXPECT_FALSE(speech.waitNoteOff);

    s.texts[5] = "sh";
    synthSetSpeechTexts(*s.synth, s.texts);
    send(*s.synth, {0xBF, 4, 5, 0xFD});
    EXPECT_EQ(speech.textStart, s.texts[5]);  // what it reads there the reading test proves
}

}  // namespace
