// The command stream: status bytes with running status, ended by 0xFD, and
// the sharing of the 32 voices among the 16 channels.
#include <cstdint>
#include "synth/fp_mode.h"
#include "synth/params.h"
#include "synth/synth.h"

namespace {

constexpr int32_t speechChannel = 15;
constexpr uint8_t endOfStream = 0xFD;
constexpr uint8_t resetStatus = 0xFF;

int32_t channelVoiceCount(const Synth& synth, int32_t c) {
    int32_t count = 0;
    for (int32_t v = 0; v < synthVoiceCount; ++v)
        if (synth.voiceChannel[v] == c) ++count;
    return count;
}

// The voice with the smallest stamp below noteCounter among those that pass
// the test, or -1. Ties go to the lowest index.
template <typename Test>
int32_t oldestVoice(const Synth& synth, Test test) {
    int32_t chosen = -1;
    uint32_t best = synth.noteCounter;
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        if (test(v) && synth.voiceStamp[v] < best) {
            best = synth.voiceStamp[v];
            chosen = v;
        }
    }
    return chosen;
}

// A free voice, else the oldest released voice, else the oldest voice.
int32_t voiceFromAll(const Synth& synth) {
    for (int32_t v = 0; v < synthVoiceCount; ++v)
        if (synth.voiceChannel[v] < 0) return v;
    const int32_t released = oldestVoice(synth, [&](int32_t v) { return synth.voices[v].gate == 0; });
    if (released >= 0) return released;
    return oldestVoice(synth, [](int32_t) { return true; });
}

// A full channel steals its own oldest released voice, else its oldest voice.
int32_t voiceFromChannel(const Synth& synth, int32_t c) {
    const int32_t released = oldestVoice(synth, [&](int32_t v) {
        return synth.voiceChannel[v] == c && synth.voices[v].gate == 0;
    });
    if (released >= 0) return released;
    return oldestVoice(synth, [&](int32_t v) { return synth.voiceChannel[v] == c; });
}

void noteOff(Synth& synth, int32_t c, int32_t key) {
    if (c == speechChannel) speechNoteOff(synth.speech);
    for (int32_t v = 0; v < synthVoiceCount; ++v) {
        SynthVoice& voice = synth.voices[v];
        if (synth.voiceChannel[v] == c && voice.note == key && voice.gate != 0) {
            voiceNoteOff(voice);
            return;
        }
    }
}

void noteOn(Synth& synth, int32_t c, int32_t key, int32_t velocity) {
    if (c == speechChannel) speechNoteOn(synth.speech);
    // A program without a patch in the bank, or a polyphony of 0, starts nothing.
    const uint8_t* patch = synthPatch(synth, synth.channelControls[c][0]);
    if (!patch) return;
    const int32_t limit = patch[patchPolyphonyOffset];
    if (limit == 0) return;
    const int32_t v = channelVoiceCount(synth, c) < limit ? voiceFromAll(synth)
                                                           : voiceFromChannel(synth, c);
    if (v < 0) return;
    synth.voiceChannel[v] = c;
    synth.voiceStamp[v] = synth.noteCounter++;
    // Before the new note is stored: this update sees the previous note's
    // sources, the next frame start the new ones.
    voiceParamUpdate(synth, v);
    voiceNoteOn(synth.voices[v], key, velocity, synth.rates);
}

void programChange(Synth& synth, int32_t c, uint8_t data) {
    uint8_t* controls = synth.channelControls[c];
    const uint8_t program = data & 0x7F;
    if (program != controls[0]) {
        controls[0] = program;
        for (int32_t v = 0; v < synthVoiceCount; ++v)
            if (synth.voiceChannel[v] == c) synth.voiceChannel[v] = -1;
    }
    for (int32_t k = 1; k <= 6; ++k) controls[k] = 0;
}

void controller(Synth& synth, int32_t c, int32_t number, int32_t value) {
    if (number >= 1 && number <= 7) {
        synth.channelControls[c][number] = static_cast<uint8_t>(value);
        if (c == speechChannel) speechController(synth.speech, number, value);
    } else if (number == 120) {  // all sound off
        for (int32_t v = 0; v < synthVoiceCount; ++v) {
            if (synth.voiceChannel[v] != c) continue;
            voiceReset(synth.voices[v], synth.seeds);
            synth.voiceChannel[v] = -1;
        }
    } else if (number >= 123) {  // all notes off
        if (c == speechChannel) speechNoteOff(synth.speech);
        for (int32_t v = 0; v < synthVoiceCount; ++v)
            if (synth.voiceChannel[v] == c) voiceNoteOff(synth.voices[v]);
    }
}

// System messages take no data bytes. A data byte right after one (other
// than a reset) is skipped, so a stream never stalls on it.
const uint8_t* systemMessage(Synth& synth, uint8_t status, const uint8_t* p) {
    if (status == resetStatus) {
        const SynthEngine engine = synth.engine;
        FrameCrew* crew = synth.crew;
        synthInit(synth, synth.patchMap, synth.patchBankSize, synth.sampleRate);
        synth.engine = engine;
        synth.crew = crew;
        return p;
    }
    return (*p & 0x80) ? p : p + 1;
}

// Handles one message under `status`, whose data bytes start at p; returns
// the position after them.
const uint8_t* handleMessage(Synth& synth, uint8_t status, const uint8_t* p) {
    const int32_t c = status & 0x0F;
    switch ((status >> 4) & 7) {
        case 0: noteOff(synth, c, p[0]); return p + 2;
        case 1:
            if (p[1] == 0) noteOff(synth, c, p[0]);
            else noteOn(synth, c, p[0], p[1]);
            return p + 2;
        case 3: controller(synth, c, p[0], p[1]); return p + 2;
        case 4: programChange(synth, c, p[0]); return p + 1;
        case 5: return p + 1;  // channel pressure
        case 7: return systemMessage(synth, status, p);
        default: return p + 2;  // key pressure, pitch bend
    }
}

}  // namespace

void synthProcessCommands(Synth& synth, const uint8_t* commands) {
    FpModeGuard fpMode;
    const uint8_t* p = commands;
    for (;;) {
        if (*p & 0x80) {
            if (*p == endOfStream) return;
            synth.runningStatus = *p++;
        }
        if (!(synth.runningStatus & 0x80)) return;
        p = handleMessage(synth, static_cast<uint8_t>(synth.runningStatus), p);
    }
}
