// Reading of speech texts: symbols, durations, marks, wrap and controllers,
// observed through the speech voice's counters and targets.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <vector>
#include "synth/speech.h"
#include "synth/speech_tables.h"

namespace {

constexpr int32_t silence = 18;

struct Reader {
    SpeechVoice speech{};
    const char* texts[speechTextSlots] = {};

    explicit Reader(const char* text0) {
        texts[0] = text0;
        speechInit(speech, 44100);
        speechSetTexts(speech, texts);
    }
};

// Frames still to play in the current target after this one.
int32_t framesLeft(const SpeechVoice& s) {
    const int32_t speed = s.speechSpeed < 1 ? 1 : s.speechSpeed;
    return s.unitsLeft * speed + s.unitFramesLeft;
}

bool waiting(const SpeechVoice& s) { return s.waitNoteOn || s.waitNoteOff; }

// A target start shows as a frame count that does not continue the count
// down of the previous tick.
struct Play {
    std::vector<int32_t> startTick;
    std::vector<int32_t> startTarget;
    std::vector<int32_t> targetAtTick;

    std::vector<int32_t> lengths() const {
        std::vector<int32_t> out;
        for (size_t i = 1; i < startTick.size(); ++i) out.push_back(startTick[i] - startTick[i - 1]);
        return out;
    }
};

Play play(SpeechVoice& s, int32_t ticks) {
    Play p;
    int32_t before = waiting(s) ? 0 : framesLeft(s);
    for (int32_t t = 0; t < ticks; ++t) {
        speechTick(s);
        const int32_t now = framesLeft(s);
        if (!waiting(s) && now != before - 1) {
            p.startTick.push_back(t);
            p.startTarget.push_back(s.curTarget);
        }
        before = waiting(s) ? 0 : now;
        p.targetAtTick.push_back(s.curTarget);
    }
    return p;
}

std::vector<int32_t> firstTargets(const char* text, size_t count) {
    Reader r(text);
    Play p = play(r.speech, 400);
    p.startTarget.resize(count);
    return p.startTarget;
}

bool sameTarget(const SpeechParams& a, const SpeechParams& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(SpeechReading, HeldVowelRepeatsWithoutSilence) {
    Reader r("ah");
    const Play p = play(r.speech, 200);
    for (int32_t t : p.targetAtTick) ASSERT_EQ(t, 60);
    // First pass 6 units of 3 frames; after every wrap the first unit is one
    // frame: 1 + 5 x 3.
    const std::vector<int32_t> lengths = p.lengths();
    ASSERT_GE(lengths.size(), 8u);
    EXPECT_EQ(lengths[0], 18);
    for (size_t i = 1; i < lengths.size(); ++i) EXPECT_EQ(lengths[i], 16) << i;
}

TEST(SpeechReading, LeadingNoteOnMarkWaitsAndPlaysSilenceAfterWrap) {
    Reader r("!ah");
    speechTick(r.speech);
    EXPECT_TRUE(r.speech.waitNoteOn);
    EXPECT_EQ(r.speech.curTarget, silence);
    const SpeechParams held = r.speech.target;
    play(r.speech, 20);
    speechNoteOff(r.speech);   // the wrong event does not release it
    play(r.speech, 5);
    EXPECT_TRUE(r.speech.waitNoteOn);
    EXPECT_TRUE(sameTarget(r.speech.target, held));

    speechNoteOn(r.speech);
    const Play p = play(r.speech, 31);
    ASSERT_EQ(p.startTarget.size(), 2u);
    EXPECT_EQ(p.startTarget[0], 60);
    EXPECT_EQ(p.startTarget[1], silence);
    EXPECT_EQ(p.startTick[1], 18);
    // The silence target after the wrap lasts 5 units, the first one frame
    // long (1 + 4 x 3 = 13 frames); then the mark waits again.
    EXPECT_FALSE(r.speech.waitNoteOn);
    speechTick(r.speech);
    EXPECT_TRUE(r.speech.waitNoteOn);
    EXPECT_EQ(r.speech.curTarget, silence);
    speechNoteOn(r.speech);
    speechTick(r.speech);
    EXPECT_EQ(r.speech.curTarget, 60);
}

TEST(SpeechReading, DurationMultiplierIsReadFromZero) {
    Reader three("3ah");
    speechTick(three.speech);
    EXPECT_EQ(three.speech.curTarget, 60);
    EXPECT_EQ(three.speech.unitsLeft, 17);   // 3 x 6 units
    const Play p = play(three.speech, 200);
    const std::vector<int32_t> lengths = p.lengths();
    ASSERT_GE(lengths.size(), 2u);
    EXPECT_EQ(p.startTick[0], 53);           // the rest of 18 x 3 frames
    EXPECT_EQ(lengths[0], 1 + 17 * 3);       // after the wrap

    Reader ten("10ah");
    speechTick(ten.speech);
    EXPECT_EQ(ten.speech.unitsLeft, 59);
    Reader zero("0ah");
    speechTick(zero.speech);
    EXPECT_EQ(zero.speech.unitsLeft, 5);     // 0 counts as 1
}

TEST(SpeechReading, SymbolsMatchWholeNamesIgnoringCase) {
    EXPECT_EQ(firstTargets("sh", 1), std::vector<int32_t>{55});
    EXPECT_EQ(firstTargets("SH", 1), std::vector<int32_t>{55});
    EXPECT_EQ(firstTargets("sH", 1), std::vector<int32_t>{55});
    EXPECT_EQ(firstTargets("a", 1), std::vector<int32_t>{silence});
    EXPECT_EQ(firstTargets("sil", 1), std::vector<int32_t>{50});
    EXPECT_EQ(firstTargets("s", 1), std::vector<int32_t>{54});
    EXPECT_EQ(firstTargets("shh", 2), (std::vector<int32_t>{55, 24}));
    EXPECT_EQ(firstTargets("ah ih", 3), (std::vector<int32_t>{60, silence, 25}));
    EXPECT_EQ(firstTargets("j", 5), (std::vector<int32_t>{29, 30, 51, 30, 29}));
    EXPECT_EQ(firstTargets("Ax#", 2), (std::vector<int32_t>{0, silence}));

    Reader upper("SH");
    speechTick(upper.speech);
    EXPECT_EQ(upper.speech.symbolIndex, 3);
    EXPECT_EQ(*upper.speech.textCursor, 0);
}

TEST(SpeechReading, HoldMarkSustainsVowelUntilNoteOff) {
    Reader r("ah_");
    Play p = play(r.speech, 18);
    for (int32_t t : p.targetAtTick) EXPECT_EQ(t, 60);
    speechTick(r.speech);
    EXPECT_TRUE(r.speech.waitNoteOff);
    const SpeechParams held = r.speech.target;
    speechNoteOn(r.speech);
    play(r.speech, 100);
    EXPECT_TRUE(r.speech.waitNoteOff);
    EXPECT_TRUE(sameTarget(r.speech.target, held));
    EXPECT_EQ(r.speech.curTarget, 60);

    speechNoteOff(r.speech);
    p = play(r.speech, 17);
    ASSERT_EQ(p.startTarget.size(), 1u);
    EXPECT_EQ(p.startTarget[0], 60);
    EXPECT_EQ(p.startTick[0], 0);
    EXPECT_TRUE(r.speech.waitNoteOff);   // 16 frames after the wrap, then the mark again
}

TEST(SpeechReading, SpeedAndTextSelection) {
    Reader r("ah");
    r.texts[5] = "sh";
    speechSetTexts(r.speech, r.texts);
    play(r.speech, 5);
    const char* cursor = r.speech.textCursor;
    speechController(r.speech, 4, 70);
    EXPECT_EQ(r.speech.speechSpeed, 7);
    EXPECT_EQ(r.speech.textCursor, cursor);
    EXPECT_EQ(r.speech.textStart, r.texts[0]);
    EXPECT_EQ(r.speech.curTarget, 60);
    Play p = play(r.speech, 200);
    std::vector<int32_t> lengths = p.lengths();
    ASSERT_GE(lengths.size(), 2u);
    EXPECT_EQ(lengths[0], 1 + 5 * 7);

    speechController(r.speech, 4, 5);
    EXPECT_EQ(r.speech.textStart, r.texts[5]);
    EXPECT_EQ(r.speech.curTarget, silence);
    EXPECT_EQ(r.speech.speechSpeed, 7);       // kept across the restart
    p = play(r.speech, 200);
    EXPECT_EQ(p.startTick[0], 0);
    EXPECT_EQ(p.startTarget[0], 55);
    EXPECT_EQ(p.startTick[1], 12 * 7);

    // An unbound slot is the empty text; other controllers change nothing.
    speechController(r.speech, 4, 9);
    ASSERT_NE(r.speech.textStart, nullptr);
    EXPECT_EQ(*r.speech.textStart, 0);
    speechController(r.speech, 3, 100);
    speechController(r.speech, 6, 0);
    EXPECT_EQ(r.speech.speechSpeed, 7);
    EXPECT_EQ(r.speech.formantFactor, 1.0f);

    // Binding texts moves the cursor but does not restart the voice.
    speechController(r.speech, 4, 0);
    play(r.speech, 3);
    const int32_t units = r.speech.unitsLeft;
    speechSetTexts(r.speech, r.texts);
    EXPECT_EQ(r.speech.textCursor, r.texts[0]);
    EXPECT_EQ(r.speech.curTarget, 60);
    EXPECT_EQ(r.speech.unitsLeft, units);
}

TEST(SpeechReading, SpeedZeroPlaysOneFramePerUnit) {
    Reader r("ah");
    speechController(r.speech, 4, 63);
    EXPECT_EQ(r.speech.speechSpeed, 0);
    const Play p = play(r.speech, 60);
    const std::vector<int32_t> lengths = p.lengths();
    ASSERT_GE(lengths.size(), 8u);
    for (int32_t n : lengths) EXPECT_EQ(n, 6);
    EXPECT_TRUE(std::isfinite(r.speech.stepInverse));
    EXPECT_TRUE(std::isfinite(r.speech.target.av));
    EXPECT_TRUE(std::isfinite(r.speech.target.res[1].a));
}

TEST(SpeechReading, TextsWithoutSymbolsPlaySilence) {
    for (const char* text : {static_cast<const char*>(nullptr), "", "7", "123"}) {
        Reader r(text);
        const Play p = play(r.speech, 100);
        for (int32_t t : p.targetAtTick) EXPECT_EQ(t, silence);
        for (int32_t n : p.lengths()) EXPECT_EQ(n, 13);   // 1 + 4 x 3 frames
    }
    // Digits right before the end wrap to the start like the end itself.
    Reader trailing("ah3");
    const Play p = play(trailing.speech, 100);
    for (int32_t t : p.targetAtTick) EXPECT_EQ(t, 60);
    for (size_t i = 1; i < p.lengths().size(); ++i) EXPECT_EQ(p.lengths()[i], 16);
    // A null table binds the empty text everywhere.
    Reader unbound("ah");
    speechSetTexts(unbound.speech, nullptr);
    EXPECT_EQ(*unbound.speech.textStart, 0);
    // A huge multiplier neither overflows nor ends the target at once.
    Reader huge("99999999999999999ah");
    play(huge.speech, 10);
    EXPECT_EQ(huge.speech.curTarget, 60);
    EXPECT_GT(huge.speech.unitsLeft, 1000);
    EXPECT_GT(huge.speech.stepInverse, 0.0f);
}

}  // namespace
