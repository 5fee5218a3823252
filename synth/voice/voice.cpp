#include "synth/voice/voice.h"

void voiceReset(SynthVoice& voice, SeedSource& seeds) {
    for (Oscillator& osc : voice.osc) oscInit(osc, seeds);
    for (Envelope& env : voice.env) envInit(env);
    for (Filter& filter : voice.filter) filterInit(filter);
    for (Lfo& lfo : voice.lfo) lfoInit(lfo, seeds);
    distInit(voice.dist);
}
void voiceSetup(SynthVoice& voice, const float* p) { (void)voice; (void)p; }
void voiceNoteOn(SynthVoice& voice, int32_t note, int32_t velocity) { voice.note = note; voice.velocity = static_cast<float>(velocity); voice.gate = 1; voice.env[0].state = 1; voice.env[1].state = 1; }
void voiceNoteOff(SynthVoice& voice) { voice.gate = 0; }
void voiceTick(SynthVoice& voice) { envTick(voice.env[0], voice.gate); envTick(voice.env[1], voice.gate); lfoTick(voice.lfo[0]); lfoTick(voice.lfo[1]); }
void voiceRender(SynthVoice& voice, float* voiceBuffer, float* voiceBuffer2, float* channelBuffer, int32_t n) { (void)voice; (void)voiceBuffer; (void)voiceBuffer2; (void)channelBuffer; (void)n; }
