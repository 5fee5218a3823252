#pragma once
// The formant speech voice of channel 16: reads a text of phoneme symbols at
// control rate and filters channel 16's voice sum through a parallel formant
// bank (nasal, F1 to F6), replacing the sum with the filtered result.
//
// A text is a zero-terminated byte string of phoneme symbols ("sh", "iy",
// "k", ...), each optionally preceded by a decimal duration multiplier
// ("3ah"). The mark "!" waits for the next note on of channel 16, "_" for the
// next note off. At its end a text starts over.
#include <cstdint>
#include "synth/setup_inputs.h"

constexpr int32_t speechTextSlots = 64;
constexpr int32_t speechResonatorCount = 7;   // nasal, F1, F2, F3, F4, F5, F6

// Two-pole resonator: y = (c y2 + b y1) + a u; its gain at 0 Hz is the gain
// it was set up with.
struct Resonator {
    float a, b, c;
};

struct SpeechParams {
    Resonator res[speechResonatorCount];   // nasal, F1, F2, F3, F4, F5, F6
    float av, ah, af, ab;                  // voicing, aspiration, frication, bypass gains
};
static_assert(sizeof(SpeechParams) == 25 * sizeof(float));

// The part of the speech voice that speechReset zeroes.
struct SpeechState {
    SpeechParams current;       // ramped per sample towards target
    SpeechParams target;        // set once per frame by speechTick
    float state[speechResonatorCount][2];   // y1, y2 per resonator
    float prevExcitation;
    uint32_t noiseSeed;
    float noiseState;
    int32_t unitFramesLeft;     // frames left in the current speed unit
    int32_t segmentSlot;        // slot of the current symbol's target; 4: none left
    int32_t unitsLeft;          // speed units left after the current one
    int32_t symbolIndex;        // entry of phonemeSymbolTable being played
    int32_t durationMultiplier;
    float stepInverse;          // 1 / (duration x speed) of the current target
    const char* textStart;
    const char* textCursor;     // next character to read
    int32_t prevTarget;
    int32_t curTarget;
    int32_t waitNoteOn;
    int32_t waitNoteOff;
    float dcState1;
    float dcState2;
    float outState[2];          // output resonator y1, y2
    // The targets, their weight, the formant factor and the rate that
    // `target` was last set from: unchanged (a held or silent voice), the
    // frame skips the set-up.
    SetupInputs<6> targetInputs;
};

// Value-initialise it (SpeechVoice speech{}) or give it static storage: the
// texts survive speechInit, so nothing else clears them.
struct SpeechVoice : SpeechState {
    // kept across speechReset
    int32_t speechSpeed;        // frames per speed unit; 0 acts as 1
    float formantFactor;        // scales every resonator frequency
    Resonator output;
    float piOverRate;
    float twoPiOverRate;
    const char* speechTexts[speechTextSlots];   // null: the empty default text
};

// r = exp(-pi w / R), c = -r^2, b = 2 r cos(2 pi f / R), a = (1 - b - c) g.
void resonatorSet(Resonator& res, float frequency, float bandwidth, float gain,
                  float piOverRate, float twoPiOverRate);
float resonatorStep(const Resonator& res, float (&state)[2], float input);

// The level unit: level 70 is unity gain, every 6 more doubles it.
float speechLevelGain(float level);

void speechInit(SpeechVoice& speech, int32_t sampleRate);
void speechReset(SpeechVoice& speech);
// Binds the first 64 entries of a table of texts (null entries, or a null
// table, mean the empty text) and restarts reading at text 0.
void speechSetTexts(SpeechVoice& speech, const char* const* texts);
void speechTick(SpeechVoice& speech);
// Takes the left samples of n stereo pairs as excitation and writes the
// result to both samples of every pair.
void speechRender(SpeechVoice& speech, float* channelBuffer, int32_t n);
void speechNoteOn(SpeechVoice& speech);
void speechNoteOff(SpeechVoice& speech);
// Controller 4: below 63 selects a text (restarting the voice), from 63 up
// sets the speed; controller 5 sets the formant factor. Others do nothing.
void speechController(SpeechVoice& speech, int32_t number, int32_t value);
