#pragma once
// The module player: sequencer state, render state and the parsed module,
// driving one synthesizer and one sound output.
//
// Threading: playerRender (and through it sequencerStep) runs on the sound
// output thread inside the output's lock; every other operation runs on the
// window thread. playing and muted are atomic words written in a fixed order.
#include <atomic>
#include <cstdint>
#include <string>
#include "player/module.h"
#include "player/timing.h"

struct Synth;

// The render entry's shape: fills frames interleaved stereo float frames.
using RenderCallback = int (*)(void* context, float* dest, uint32_t frames);

// The sound output as the player sees it. Any member may be null (offline use).
struct OutputPort {
    void* context = nullptr;
    bool (*start)(void* context, RenderCallback callback, void* callbackContext) = nullptr;
    void (*close)(void* context) = nullptr;
    void (*setVolume)(void* context, float volume) = nullptr;
    int32_t (*playedBytes)(void* context) = nullptr;
    void (*lock)(void* context) = nullptr;    // the output's lock
    void (*unlock)(void* context) = nullptr;
};

// One event stream's place in the song. read advances one byte per event:
// plane j of the current event lies j x count bytes further.
struct StreamCursor {
    const uint8_t* read;
    uint32_t index;      // next event; the stream is exhausted at its count
    uint32_t nextTick;   // absolute tick of that event
    uint8_t value[2];    // running values (note and velocity, program, bend low and high, controller)
};

struct ChannelCursor {
    StreamCursor notes;
    StreamCursor program;
    StreamCursor bend;
    StreamCursor controllers[7];   // controllers 1..7
};

constexpr int32_t commandBufferSize = 4096;

struct ModulePlayer {
    // sequencer
    uint8_t commandBuffer[commandBufferSize];
    std::atomic<uint32_t> playing;
    std::atomic<uint32_t> muted;
    uint32_t currentTick;
    uint32_t nextTick;
    const uint8_t* globalStart;
    uint32_t globalNextTick;
    uint32_t globalIndex;
    uint32_t tempoScaled;
    uint32_t numerator, denominator, thirdByte;
    ChannelCursor cursors[16];
    // Where a step left off when a tick's events did not fit in one buffer:
    // -1 (start with the global stream), or the channel and the part of it
    // (0 program, 1..7 controllers, 8 pitch bend, 9 notes) to go on with.
    int32_t resumeChannel;
    int32_t resumePart;
    // render
    // Frames produced since open, silence included. Atomic: the render entry
    // counts on while play notes the start frame on the window thread.
    std::atomic<uint32_t> framesRendered;
    uint32_t samplesToNextStep;  // frames before the next step; all ones once the song ended
    uint32_t stepRemainder;      // sum of division remainders, carries only past 2^32
    int32_t playStartBytes;      // framesRendered x 4 when play started
    uint32_t songEndFrame;       // framesRendered at the step that ended the song
    int32_t sampleRate;          // frames per second of the synthesizer and the timing
    RateRatio rate;              // sampleRate against 44,100 Hz
    ModuleView view;
    // what the player drives
    Synth* synth;          // null: steps only fill commandBuffer, renders are silence
    OutputPort output;
    int32_t open;          // a module is open and the output was started
};

constexpr int32_t playerSampleRate = 44100;
constexpr uint32_t songEndedCountdown = 0xFFFFFFFFu;  // samplesToNextStep after the end

// Binds the player to its synthesizer and output and leaves it closed
// (once, before any open). Window thread.
void playerInit(ModulePlayer& player, Synth* synth, const OutputPort& output);

// Sets the rate the synthesizer runs at and the sequencer counts frames in
// (44,100 after playerInit); takes effect at the next open. Window thread.
void playerSetSampleRate(ModulePlayer& player, int32_t sampleRate);

// Frames from the current step to the next at the player's rate, carrying
// the division remainders in stepRemainder.
uint32_t playerStepFrames(ModulePlayer& player);

// Parses and prepares image[0..size), starts the output silent (muted) and
// sets its volume to 1.0. A module that fails the parse is refused: false,
// the reason, and the player stays closed (nothing plays). An open player is
// closed first. The image must stay unchanged until playerClose. Window thread.
bool playerOpen(ModulePlayer& player, const uint8_t* image, uint32_t size, std::string& reason);

// Starts the open module from its beginning, from any state. Once the render
// entry may have been inside the synthesizer since open, the reset runs under
// the output's lock. Does nothing when no module is open. Window thread.
void playerPlay(ModulePlayer& player);
// playerPlay right after a successful playerOpen without an output, with
// nothing rendered since: the open's reset stands, so the synthesizer is not
// initialised a second time (offline rendering).
void playerPlayJustOpened(ModulePlayer& player);

// The render entry writes silence from its next call on. Window thread.
void playerStop(ModulePlayer& player);

// Closes the output (joining its thread); the image may be freed afterwards.
void playerClose(ModulePlayer& player);

// Milliseconds of the song heard so far; negative before its first frame is
// heard. Without an output position, the frames rendered count as heard.
int32_t playerPositionMs(ModulePlayer& player);

// The render entry: fills all frames (interleaved stereo floats) and returns
// 0; context is the ModulePlayer. Sound output thread, inside the output's
// lock; no allocation, no I/O.
int playerRender(void* player, float* dest, uint32_t frames);
