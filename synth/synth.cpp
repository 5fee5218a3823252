#include "synth/synth.h"
#include <cstring>
#include "synth/fp_mode.h"
#include "synth/params.h"

void synthInit(Synth& synth, const uint8_t* patchBank, uint32_t bankSize, int32_t sampleRate) {
    seedSourceRestart(synth.seeds);
    std::memset(static_cast<SynthResettable*>(&synth), 0, sizeof(SynthResettable));
    synth.sampleRate = sampleRate;
    synth.patchMap = patchBank;
    synth.patchBankSize = bankSize;
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        voiceReset(synth.voices[v], synth.seeds);
        synth.voiceChannel[v] = -1;
    }
    for (int32_t c = 0; c < synthChannelCount; ++c) channelFxInit(synth, c);
    modDelayBind(synth.delay, synth.delayLines[0], synth.delayLines[1], delayLineLength - 1);
    modDelayClear(synth.delay);
    speechInit(synth.speech, sampleRate);
    compressorInit(synth.masterCompressor);
}
void synthSetGlobals(Synth& synth, const uint8_t* globals) { (void)synth; (void)globals; }
void synthSetSpeechTexts(Synth& synth, const char* const* texts) { speechSetTexts(synth.speech, texts); }
void synthRender(Synth& synth, float* dest, uint32_t count, float* destRight, int32_t add) {
    (void)synth; (void)add;
    FpModeGuard fpMode;
    for (uint32_t i = 0; i < count; ++i) {
        if (destRight) { if (!add) { dest[i] = 0; destRight[i] = 0; } }
        else { dest[2 * i] = 0; dest[2 * i + 1] = 0; }
    }
}
void synthSetSeed(Synth& synth, uint32_t seed) { seedSourceSetFixed(synth.seeds, seed); }
