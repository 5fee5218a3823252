#pragma once
// The length of a song as the player plays it: the tick of its last event and
// the frame at 44,100 Hz at which that event sounds, found by stepping the
// sequencer and converting each step's tick distance the way the render entry
// does (so the per-step fractions of a frame are dropped, as in playback).
#include <cstdint>

#include "player/module.h"

// Playback starts at the first event (the ticks before it are not played),
// so the length runs from the first event to the last.
struct SongLength {
    uint32_t firstTick;  // 0 without events
    uint32_t lastTick;
    uint64_t frames;     // from the frame of the first event to that of the last
    uint64_t steps;      // sequencer steps the song takes
};

constexpr uint32_t songSampleRate = 44100;

// view must come from a successful parse.
SongLength measureSongLength(const ModuleView& view);
