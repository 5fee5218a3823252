#pragma once
// The formant speech voice of channel 16: reads a text of phoneme symbols at
// control rate and filters channel 16's voice sum through a parallel formant bank.
#include <cstdint>

constexpr int32_t speechTextSlots = 64;

struct Resonator {
    float a, b, c;
};

struct SpeechParams {
    Resonator res[7];   // nasal, F1, F2, F3, F4, F5, F6
    float av, ah, af, ab;
};
static_assert(sizeof(SpeechParams) == 25 * sizeof(float));

struct SpeechVoice {
    // zeroed by speechReset
    SpeechParams current;
    SpeechParams target;
    float state[7][2];          // y1, y2 per resonator
    float prevExcitation;
    uint32_t noiseSeed;
    float noiseState;
    int32_t unitFramesLeft;
    int32_t segmentSlot;
    int32_t unitsLeft;
    int32_t symbolIndex;
    int32_t durationMultiplier;
    float stepInverse;
    const char* textStart;
    const char* textCursor;
    int32_t prevTarget;
    int32_t curTarget;
    int32_t waitNoteOn;
    int32_t waitNoteOff;
    float dcState1;
    float dcState2;
    float outState[2];
    // kept across speechReset
    int32_t speechSpeed;        // frames per speed unit
    float formantFactor;
    Resonator output;
    float piOverRate;
    float twoPiOverRate;
    const char* speechTexts[speechTextSlots];
};

void speechInit(SpeechVoice& speech, int32_t sampleRate);
void speechReset(SpeechVoice& speech);
// Binds the first 64 entries of a table of texts (null entries mean the empty text).
void speechSetTexts(SpeechVoice& speech, const char* const* texts);
void speechTick(SpeechVoice& speech);
void speechRender(SpeechVoice& speech, float* channelBuffer, int32_t n);
void speechNoteOn(SpeechVoice& speech);
void speechNoteOff(SpeechVoice& speech);
void speechController(SpeechVoice& speech, int32_t number, int32_t value);
