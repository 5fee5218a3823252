// The speech voice's control side: reading the text, timing the targets and
// turning the interpolated targets into filter coefficients once per frame.
#include "synth/speech.h"
#include <cmath>
#include "synth/speech_tables.h"
#include "synth/voice/math.h"

namespace {

constexpr float piFloat = 3.14159274f;
constexpr float twoPiFloat = 6.28318548f;
constexpr char defaultText[] = "";
// Jumps between targets whose ranks differ by more than this.
constexpr float rankJumpDistance = 8.0f;
// Keeps duration x speed, and every frame count formed from it, inside 32 bits.
constexpr int32_t maxDurationMultiplier = 100000;

struct FixedFormant {
    float frequency, bandwidth;
};
constexpr float nasalBandwidth = 100.0f;
constexpr FixedFormant formant4 = {3200.0f, 200.0f};
constexpr FixedFormant formant5 = {4000.0f, 500.0f};
constexpr FixedFormant formant6 = {6000.0f, 800.0f};

const char* textOrDefault(const char* text) { return text ? text : defaultText; }

// Speed 0 would make a target last no time at all; it plays as speed 1.
int32_t framesPerUnit(const SpeechVoice& speech) {
    return speech.speechSpeed < 1 ? 1 : speech.speechSpeed;
}

void selectText(SpeechVoice& speech, int32_t slot) {
    speech.textStart = textOrDefault(speech.speechTexts[slot]);
    speech.textCursor = speech.textStart;
}

// Target values between the current target C and the previous one P:
// w = 0 gives C, w = 1 gives P.
struct TargetBlend {
    const float* current;
    const float* previous;
    float weight;
    float at(int32_t column) const {
        const float c = current[column];
        return c + (previous[column] - c) * weight;
    }
};

void setResonator(SpeechVoice& speech, Resonator& res, float frequency, float bandwidth,
                  float level) {
    resonatorSet(res, speech.formantFactor * frequency, bandwidth, speechLevelGain(level),
                 speech.piOverRate, speech.twoPiOverRate);
}

void setTargets(SpeechVoice& speech, int32_t current, int32_t previous, float weight) {
    const float inputs[6] = {float(current), float(previous), weight, speech.formantFactor,
                             speech.piOverRate, speech.twoPiOverRate};
    if (!setupInputsChanged(speech.targetInputs, inputs)) return;
    const TargetBlend t{speechTargetTable[current], speechTargetTable[previous], weight};
    SpeechParams& p = speech.target;
    // Fixed frequencies and bandwidths blend to themselves.
    setResonator(speech, p.res[0], t.at(colFN), nasalBandwidth, t.at(colAN));
    setResonator(speech, p.res[1], t.at(colF1), t.at(colB1), t.at(colA1));
    setResonator(speech, p.res[2], t.at(colF2), t.at(colB2), t.at(colA2));
    setResonator(speech, p.res[3], t.at(colF3), t.at(colB3), t.at(colA3));
    setResonator(speech, p.res[4], formant4.frequency, formant4.bandwidth, t.at(colA4));
    setResonator(speech, p.res[5], formant5.frequency, formant5.bandwidth, t.at(colA56));
    setResonator(speech, p.res[6], formant6.frequency, formant6.bandwidth, t.at(colA56));
    p.av = speechLevelGain(t.at(colAV));
    p.ah = speechLevelGain(t.at(colAH));
    p.af = speechLevelGain(t.at(colAF));
    p.ab = speechLevelGain(t.at(colAB));
}

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }
bool isWaitOrEnd(char ch) { return ch == 0 || ch == '!' || ch == '_'; }
char lowerCase(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

// Length of `name` if the text at `text` begins with it (ignoring case), else 0.
// The comparison stops at the first mismatch, so it never reads past the
// text's terminating zero.
int32_t matchLength(const char* text, const char* name) {
    int32_t i = 0;
    for (; name[i] != 0; ++i)
        if (lowerCase(text[i]) != name[i]) return 0;
    return i;
}

// The text starts over; its first speed unit lasts one frame.
void wrapText(SpeechVoice& speech) {
    speech.textCursor = speech.textStart;
    speech.durationMultiplier = 1;
    speech.unitFramesLeft = 1;
    speech.symbolIndex = silenceSymbol;
    speech.segmentSlot = 0;
}

int32_t readNumber(SpeechVoice& speech) {
    int32_t number = 0;
    while (isDigit(*speech.textCursor)) {
        number = number * 10 + (*speech.textCursor - '0');
        if (number > maxDurationMultiplier) number = maxDurationMultiplier;
        ++speech.textCursor;
    }
    return number;
}

// Reads an optional duration multiplier and one symbol (or one unknown
// character, read as silence). The cursor is on neither the end nor a mark.
void readSymbol(SpeechVoice& speech) {
    int32_t number = readNumber(speech);
    if (*speech.textCursor == 0) {
        // Digits right before the end wrap to the start like the end itself.
        wrapText(speech);
        if (isWaitOrEnd(*speech.textCursor)) return;
        number = readNumber(speech);
        if (*speech.textCursor == 0) return;   // only digits: silence, as an empty text
    }
    speech.durationMultiplier = number == 0 ? 1 : number;
    int32_t symbol = silenceSymbol;
    int32_t length = 1;
    for (int32_t i = 0; i < silenceSymbol; ++i) {
        const int32_t matched = matchLength(speech.textCursor, phonemeSymbolTable[i].name);
        if (matched > 0) {
            symbol = i;
            length = matched;
            break;
        }
    }
    speech.textCursor += length;
    speech.symbolIndex = symbol;
    speech.segmentSlot = 0;
}

void startTarget(SpeechVoice& speech) {
    speech.prevTarget = speech.curTarget;
    speech.curTarget = phonemeSymbolTable[speech.symbolIndex].targets[speech.segmentSlot];
    const float units = static_cast<float>(speech.durationMultiplier) *
                        speechTargetTable[speech.curTarget][colDUR];
    int32_t duration = roundInt(units);
    if (duration < 1) duration = 1;
    speech.stepInverse = 1.0f / static_cast<float>(duration * framesPerUnit(speech));
    speech.unitsLeft = duration - 1;
}

// Moves on to the next target of the symbol, or of the text. Returns false
// when a mark was read: the voice then waits and `target` holds.
bool nextTarget(SpeechVoice& speech) {
    ++speech.segmentSlot;
    if (speech.segmentSlot < phonemeSlots &&
        phonemeSymbolTable[speech.symbolIndex].targets[speech.segmentSlot] != noTarget) {
        startTarget(speech);
        return true;
    }
    const char ch = *speech.textCursor;
    if (ch == '!' || ch == '_') {
        if (ch == '!') speech.waitNoteOn = 1;
        else speech.waitNoteOff = 1;
        ++speech.textCursor;
        speech.unitFramesLeft = 0;
        speech.unitsLeft = 0;
        return false;
    }
    if (ch == 0) {
        wrapText(speech);
        if (isWaitOrEnd(*speech.textCursor)) {
            startTarget(speech);   // the silence symbol's target
            return true;
        }
    }
    readSymbol(speech);
    startTarget(speech);
    return true;
}

// Blends from the previous target to the current one along the current
// target's frames, with the rank ratio as exponent.
void interpolate(SpeechVoice& speech) {
    --speech.unitFramesLeft;
    const int32_t framesLeft = speech.unitsLeft * framesPerUnit(speech) + speech.unitFramesLeft;
    float r = static_cast<float>(framesLeft) * speech.stepInverse;
    // A speed raised in mid-target leaves stepInverse at the old speed; an r
    // above 1 would extrapolate past the previous target.
    if (r > 1.0f) r = 1.0f;
    const float rankPrev = speechTargetTable[speech.prevTarget][colRANK];
    const float rankCur = speechTargetTable[speech.curTarget][colRANK];
    const int32_t previous =
        std::fabs(rankPrev - rankCur) > rankJumpDistance ? speech.curTarget : speech.prevTarget;
    // A target blended with itself is itself at every weight (c + (c - c) w
    // is c), so the weight is left 0 and the set-up skipped while the voice
    // holds one target, silence above all.
    float weight = 0.0f;
    if (r != 0.0f && previous != speech.curTarget) {
        const float exponent = rankPrev / rankCur;
        weight = static_cast<float>(std::pow(static_cast<double>(r), static_cast<double>(exponent)));
    }
    setTargets(speech, speech.curTarget, previous, weight);
}

}  // namespace

void speechReset(SpeechVoice& speech) {
    static_cast<SpeechState&>(speech) = SpeechState{};
    setTargets(speech, silenceTarget, silenceTarget, 0.0f);
    speech.current = speech.target;
    speech.prevTarget = silenceTarget;
    speech.curTarget = silenceTarget;
    speech.segmentSlot = phonemeSlots;   // the next tick reads a new symbol
}

void speechInit(SpeechVoice& speech, int32_t sampleRate) {
    const float rate = static_cast<float>(sampleRate);
    speech.piOverRate = piFloat / rate;
    speech.twoPiOverRate = twoPiFloat / rate;
    // Before the reset: its silence targets are scaled by the formant factor,
    // which a song that ran before may have changed.
    speech.formantFactor = 1.0f;
    speech.speechSpeed = 3;
    speechReset(speech);
    selectText(speech, 0);
    resonatorSet(speech.output, 12000.0f, 4000.0f, 2.0f, speech.piOverRate, speech.twoPiOverRate);
}

void speechSetTexts(SpeechVoice& speech, const char* const* texts) {
    for (int32_t i = 0; i < speechTextSlots; ++i) speech.speechTexts[i] = texts ? texts[i] : nullptr;
    selectText(speech, 0);
}

void speechTick(SpeechVoice& speech) {
    if (speech.waitNoteOn || speech.waitNoteOff) return;
    if (speech.unitFramesLeft <= 0) {
        speech.unitFramesLeft = framesPerUnit(speech);
        if (speech.unitsLeft > 0) --speech.unitsLeft;
        else if (!nextTarget(speech)) return;
    }
    interpolate(speech);
}

void speechNoteOn(SpeechVoice& speech) { speech.waitNoteOn = 0; }
void speechNoteOff(SpeechVoice& speech) { speech.waitNoteOff = 0; }

void speechController(SpeechVoice& speech, int32_t number, int32_t value) {
    if (value < 0 || value > 127) return;   // controller values are 7-bit
    if (number == 4) {
        if (value < 63) {
            speechReset(speech);
            selectText(speech, value);
        } else {
            speech.speechSpeed = value - 63;
        }
    } else if (number == 5) {
        speech.formantFactor = pow2(static_cast<float>(value - 64) / 128.0f);
    }
}
