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

struct StreamCursor {
    const uint8_t* read;
    uint32_t index;
    uint32_t nextTick;
    uint8_t value[2];   // running values (note and velocity, program, bend low and high, controller)
};

struct ChannelCursor {
    StreamCursor notes;
    StreamCursor program;
    StreamCursor bend;
    StreamCursor controllers[7];
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
    // where a step left off when a tick's events did not fit in one buffer
    int32_t resumeChannel;
    // render
    uint32_t framesRendered;
    uint32_t samplesToNextStep;
    uint32_t stepRemainder;
    int32_t playStartBytes;
    ModuleView view;
    // what the player drives
    Synth* synth;          // null: steps only fill commandBuffer
    OutputPort output;
    int32_t open;
};

// Binds the player to its synthesizer and output (once, before any open).
void playerInit(ModulePlayer& player, Synth* synth, const OutputPort& output);
// Parses and prepares image[0..size), starts the output silent. A module that
// fails the parse is refused: false, the reason, and the player stays closed.
bool playerOpen(ModulePlayer& player, const uint8_t* image, uint32_t size, std::string& reason);
void playerPlay(ModulePlayer& player);
void playerStop(ModulePlayer& player);
void playerClose(ModulePlayer& player);
int32_t playerPositionMs(ModulePlayer& player);
int playerRender(void* player, float* dest, uint32_t frames);  // context is the ModulePlayer
