#pragma once
// The synthesizer: 32 voices on 16 channels, channel effects, the global bus
// and the speech voice, rendered in frames of 128 samples at 44,100 Hz.
//
// Threading: synthProcessCommands and synthRender run on the sound output
// thread under the output's lock; synthInit, synthSetGlobals and
// synthSetSpeechTexts run on the window thread while the player keeps the
// render entry away. Nothing here allocates, locks or does I/O.
#include <cstdint>
#include "synth/fx/channel_fx.h"
#include "synth/fx/compressor.h"
#include "synth/fx/mod_delay.h"
#include "synth/fx/reverb.h"
#include "synth/param_index.h"
#include "synth/seed.h"
#include "synth/speech.h"
#include "synth/voice/voice.h"
#include "synth/voice/voice_lanes.h"

constexpr int32_t synthVoiceCount = 32;
constexpr int32_t synthChannelCount = 16;
constexpr int32_t maxFrameLength = 280;
constexpr int32_t chorusLineLength = 2048;
constexpr int32_t delayLineLength = 32768;

// How a frame's voices are rendered: one by one (the plain definition), or
// together in SIMD lanes on the machine's best target. Samples are the same.
enum class SynthEngine : int32_t { lanes = 0, scalar = 1 };

struct FrameCrew;

// What the tasks of a frame's stage are (synthFrameTask): the voice parts;
// the channel parts; or all the channels and then the mix, beside the next
// frame's voice parts.
enum class FrameStage : int32_t { voices, channels, channelsBesideVoicesAhead };

// One rendering thread's work space for a frame.
struct FrameScratch {
    float levels[maxFrameLength * 2];  // a compressor's detector levels
    // The lane engine: the channel compressors' levels, lane-major
    // (compressor_detect_lanes.h).
    float levelRows[maxFrameLength * 2 * synthChannelCount];
    float voiceBuffer[maxFrameLength];
    float voiceBuffer2[maxFrameLength];
    // The lane engine's rows, one set per frame parity, so that a frame's
    // channels can read theirs while the next frame's voices render.
    LaneScratch lanes[2];
};

// Everything synthInit clears to zero as one block.
struct SynthResettable {
    const uint8_t* patchMap;
    uint32_t patchBankSize;       // bytes; no lookup reads past it
    uint32_t runningStatus;
    uint32_t noteCounter;
    int32_t sampleRate;
    int32_t voiceChannel[synthVoiceCount];   // -1 when free
    uint32_t voiceStamp[synthVoiceCount];
    uint8_t channelControls[synthChannelCount][8];  // program, controllers 1..7
    int32_t frameLeft;
    int32_t frameParity;  // which rows and voice plan the frame uses (see Synth)
    bool voicesAhead;     // the next frame's voices are rendered already
    float voiceParams[synthVoiceCount][voiceParamCount];
    SynthVoice voices[synthVoiceCount];
    float channelParams[synthChannelCount][channelParamCount];
    SynthChannel channels[synthChannelCount];
    float globalParams[globalParamCount];
    Reverb reverb;
    ModDelay delay;
    Compressor masterCompressor;
    float lowCutCoef, lowCutStateL, lowCutStateR;
    float highCutCoef, highCutStateL, highCutStateR;
    // How frames render: set after synthInit (which makes them lanes and
    // none); a reset command keeps them.
    SynthEngine engine;
    FrameCrew* crew;  // worker threads sharing the frames (frame_crew.h)
    uint32_t nonFiniteFrames;  // frames whose output the finite guard mended
};

struct Synth : SynthResettable {
    // Work buffers; voiceBuffer and voiceBuffer2 lie back to back and also
    // serve the compressors as one 280-pair level buffer.
    float voiceBuffer[maxFrameLength];
    float voiceBuffer2[maxFrameLength];
    float channelBuffer[maxFrameLength * 2];
    float reverbBus[maxFrameLength];
    float delayBus[maxFrameLength];
    float mainMix[maxFrameLength * 2];
    float delayLines[2][delayLineLength];
    float chorusLines[synthChannelCount][2][chorusLineLength];
    SpeechVoice speech;
    SeedSource seeds;
    RateConstants rates;     // of sampleRate, set by synthInit
    // Bits 0..15: channels whose sound does not reach the mix; bit 16: the
    // reverb's and delay's returns. Outside the reset: mutes outlast it.
    uint32_t muteMask = 0;
    FrameScratch scratch;       // part 0's (the crew holds the others')
    // The frame's plan, in stages of parts that threads may share (see
    // synthFrameTask): the voices in groups of whole vectors, which part
    // renders each (per frame parity, as the rows); each voice's channel
    // after the voices' updates; the channels that have a voice then, which
    // part runs each. Each sounding channel's output after its effects.
    FrameStage frameStage;
    int32_t voiceParts[2];
    int32_t voicePart[2][synthVoiceCount];
    int32_t channelOfVoice[synthVoiceCount];
    int32_t channelParts;
    bool channelSounds[synthChannelCount];
    int32_t channelPart[synthChannelCount];
    float channelOut[synthChannelCount][maxFrameLength * 2];
    // render bookkeeping
    uint32_t renderLeft;
    int32_t renderFrameLength;
    float* renderDest;
    float* renderDestRight;
    int32_t renderAdd;
};

// Resets everything and binds the patch bank (bankSize bytes; no lookup reads
// past it). The frame is sampleRate x 128 / 44100 samples, kept within 1..280.
// The output filter passes nothing until synthSetGlobals.
void synthInit(Synth& synth, const uint8_t* patchBank, uint32_t bankSize, int32_t sampleRate);
void synthSetGlobals(Synth& synth, const uint8_t* globals);  // 22 bytes
void synthSetSpeechTexts(Synth& synth, const char* const* texts);
void synthProcessCommands(Synth& synth, const uint8_t* commands);  // ends at 0xFD
// destRight null: count interleaved pairs into dest, overwriting. Otherwise
// left into dest and right into destRight, added when add is nonzero.
void synthRender(Synth& synth, float* dest, uint32_t count, float* destRight, int32_t add);

constexpr uint32_t effectsMuteBit = 1u << synthChannelCount;

// Sets the mute mask (see Synth::muteMask); muted parts keep running unheard.
void synthSetMuteMask(Synth& synth, uint32_t mask);

// For meters: per channel, its loudest voice's amplitude envelope (0..1)
// times its volume controller (0..1). Reads state only.
void synthChannelLevels(const Synth& synth, float (&levels)[synthChannelCount]);

// Reproducible seeds for noise and random generators (see SeedSource): set
// before synthInit, the k-th draw after every synthInit (and reset command)
// is the same. Without a seed the free-running counter is read.
void synthSetSeed(Synth& synth, uint32_t seed);
void synthSetEngine(Synth& synth, SynthEngine engine);

// One task of a frame's stage (see frame_crew.h and FrameStage), in its
// part's scratch. A voice part: the control-rate update of its voices, then
// (in lanes) their rendering. A channel part: its channels sum their voices
// in voice order and run their effects into channelOut. The mix: every
// sounding channel's sends and volume in channel order, then the global bus.
void synthFrameTask(Synth& synth, int32_t task, int32_t n);
