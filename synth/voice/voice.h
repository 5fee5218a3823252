#pragma once
// One sounding note: three oscillators, two filters, distortion, two
// envelopes and two LFOs, rendered panned into its channel's buffer.
#include <cstdint>
#include "synth/voice/distortion.h"
#include "synth/voice/envelope.h"
#include "synth/voice/filter.h"
#include "synth/voice/lfo.h"
#include "synth/voice/oscillator.h"
#include "synth/setup_inputs.h"

struct SeedSource;

// filterRouting values: filter 1 only, both in parallel; others are serial.
constexpr int32_t voiceRoutingSingle = 0;
constexpr int32_t voiceRoutingParallel = 2;

// The inputs each unit's set-up last ran with: a frame whose inputs are
// unchanged skips it (the transcendental functions are most of a voice's
// control-rate cost).
struct VoiceSetupInputs {
    SetupInputs<9> osc[3];     // its 6 parameters, the note, rateScale, pitchBase
    SetupInputs<4> filter[2];  // its 3 parameters, rateScale
    SetupInputs<6> env[2];
    SetupInputs<7> lfo[2];
    SetupInputs<5> dist;       // its 4 parameters, rateScale
};

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
    VoiceSetupInputs setupInputs;
};

// Also clears the set-up inputs: the next voiceSetup runs every unit's set-up.
void voiceReset(SynthVoice& voice, SeedSource& seeds);
// The 59 voice parameters; units whose inputs are those of the last call keep their set-up.
void voiceSetup(SynthVoice& voice, const float* p, const RateConstants& rates = rates44100);
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
