#pragma once
// The synthesizer played live: MIDI messages from an input thread reach the
// sound output thread through a lock-free queue and become command streams
// between the blocks the synthesizer renders, so a message is heard within
// one synthesizer frame of the block it falls into.
//
// Threading: liveEngineStart runs before the output starts; the input
// thread only pushes to queue; liveEngineRender runs on the sound output
// thread (no allocation, no lock, no I/O); the display reads the atomics.
#include <atomic>
#include <cstdint>
#include "player/midi_queue.h"
#include "synth/synth.h"

constexpr uint8_t liveUnrouted = 255;

// How MIDI messages land on the module's channels and programs.
struct LiveRouting {
    uint8_t channelOf[16];       // module channel of each MIDI channel, liveUnrouted: dropped
    uint8_t programOf[128];      // module program of each MIDI program
    uint8_t drumChannel[128];    // module channel of each key of the percussion channel
    uint8_t drumKey[128];        // and the key it plays there
    uint8_t startProgram[16];    // program of each module channel at start
    uint8_t controllerOf[128];   // module controller 1..7 of each MIDI controller, 0: dropped
    uint8_t percussionChannel;   // MIDI channel whose notes are drums (9: channel 10)
    uint8_t sustainController;   // held down (64 and up), note ends wait for its release
};

struct LiveEngine {
    Synth* synth;
    LiveRouting routing;
    MidiQueue queue;
    uint64_t frame;                 // frames rendered so far
    uint8_t program[16];            // per module channel
    uint8_t controls[16][8];        // controllers 1..7 as last sent
    uint8_t sustain[16];
    uint8_t deferredEnds[16][128];  // note ends held back by the pedal, per key
    uint8_t commands[32];
    std::atomic<uint8_t> activeVoices[16];  // after the last block
    std::atomic<uint32_t> handled;          // messages taken from the queue
};

// Binds a synthesizer that has its bank and globals set, and selects each
// channel's start program.
void liveEngineStart(LiveEngine& engine, Synth* synth, const LiveRouting& routing);

// One channel message as commands to the synthesizer: three bytes, status
// and data (the third unused by two-byte messages).
void liveEngineHandle(LiveEngine& engine, const uint8_t* message);

// Renders frames interleaved stereo floats into out, applying each queued
// message at its frame (messages with frame 0 or in the past at once).
void liveEngineRender(LiveEngine& engine, float* out, uint32_t frames);
