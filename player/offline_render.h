#pragma once
// Rendering a module without a sound card: exactly the frames the render
// entry hands the sound output, from the song's first frame, in any chunking
// (a chunk of n frames gives the same samples as n chunks of one frame).
//
// Runs on one thread; the player must have been bound with no output (or
// one whose thread is not running), since the caller drives the render entry.
#include <cstdint>
#include <string>
#include "player/render_length.h"

struct ModulePlayer;
struct Synth;

// Binds player to synth without a sound output at sampleRate, fixes the
// synthesizer's seed when seed is not null, opens image[0..size) and plays
// it. False with the reason when the module is refused.
bool offlineOpen(ModulePlayer& player, Synth& synth, const uint8_t* image, uint32_t size,
                 const uint32_t* seed, std::string& reason, int32_t sampleRate = 44100);

// Renders the next frames of a playing module (interleaved stereo floats).
// Returns the frame of this chunk at which the song ended (frames when it
// ended right after the chunk), or songNotEnded.
uint32_t offlineRender(ModulePlayer& player, float* dest, uint32_t frames);

// Frames at sampleRate from the song's first frame to its end (the step that
// finds no event left), walking the sequencer of scratch without a synthesizer.
bool offlineSongFrames(ModulePlayer& scratch, const uint8_t* image, uint32_t size,
                       uint64_t& frames, std::string& reason, int32_t sampleRate = 44100);
