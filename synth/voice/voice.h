#pragma once
// One sounding note: three oscillators, two filters, distortion, two
// envelopes and two LFOs, rendered panned into its channel's buffer.
#include <cstdint>
#include "synth/voice/distortion.h"
#include "synth/voice/envelope.h"
#include "synth/voice/filter.h"
#include "synth/voice/lfo.h"
#include "synth/voice/oscillator.h"

struct SeedSource;

// filterRouting values: filter 1 only, both in parallel; others are serial.
constexpr int32_t voiceRoutingSingle = 0;
constexpr int32_t voiceRoutingParallel = 2;

struct SynthVoice {
    int32_t note;
    float velocity;       // modulation source 0
    int32_t gate;         // 1 from note on to note off
    float ampCurrent;
    float ampStep;
    float transpose;      // semitones
    int32_t filterRouting;  // 0 filter 1 only, 2 parallel, other serial
    float gainLeft;
    float gainRight;
    float filter1Gain;
    float filter2Gain;
    int32_t keySync;
    Oscillator osc[3];
    Filter filter[2];
    Envelope env[2];      // env[0] is the amplitude envelope
    Lfo lfo[2];
    Distortion dist;
};

void voiceReset(SynthVoice& voice, SeedSource& seeds);
void voiceSetup(SynthVoice& voice, const float* p, const RateConstants& rates = rates44100);  // the 59 voice parameters
void voiceNoteOn(SynthVoice& voice, int32_t note, int32_t velocity,
                 const RateConstants& rates = rates44100);
void voiceNoteOff(SynthVoice& voice);
void voiceTick(SynthVoice& voice);
// Renders n samples using the two mono work buffers and adds them, panned,
// into the interleaved stereo channelBuffer: voiceOscillators, the filters,
// the distortion, then voiceMix.
void voiceRender(SynthVoice& voice, float* voiceBuffer, float* voiceBuffer2,
                 float* channelBuffer, int32_t n);
// The oscillators' sum (or ring product) into buffer, from silence.
void voiceOscillators(SynthVoice& voice, float* buffer, int32_t n);
// The finished mono samples through the amplitude ramp, panned, added into
// the interleaved stereo channelBuffer.
void voiceMix(SynthVoice& voice, const float* buffer, float* channelBuffer, int32_t n);
