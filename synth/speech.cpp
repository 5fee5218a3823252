#include "synth/speech.h"

void speechInit(SpeechVoice& speech, int32_t sampleRate) { (void)speech; (void)sampleRate; }
void speechReset(SpeechVoice& speech) { (void)speech; }
void speechSetTexts(SpeechVoice& speech, const char* const* texts) { (void)speech; (void)texts; }
void speechTick(SpeechVoice& speech) { (void)speech; }
void speechRender(SpeechVoice& speech, float* channelBuffer, int32_t n) { (void)speech; (void)channelBuffer; (void)n; }
void speechNoteOn(SpeechVoice& speech) { speech.waitNoteOn = 0; }
void speechNoteOff(SpeechVoice& speech) { speech.waitNoteOff = 0; }
void speechController(SpeechVoice& speech, int32_t number, int32_t value) { (void)speech; (void)number; (void)value; }
