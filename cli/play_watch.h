#pragma once
// Where live playback ends: the render entry wrapped so that every block it
// hands the sound output also feeds the render-length rule, as q7m render
// applies it, and the stream byte at which the render would end is noted.
//
// watchedRender runs on the sound output thread inside the output's lock;
// no allocation, no I/O. The window side reads endBytes.
#include <atomic>
#include <cstdint>
#include "player/module_player.h"
#include "player/render_length.h"

constexpr uint32_t watchBlockFrames = 16384;  // the sound output's largest request

struct PlayWatch {
    ModulePlayer* player = nullptr;
    RenderLength length{};
    std::atomic<int32_t> songStarted{0};   // set once playerPlay has returned
    std::atomic<int32_t> ended{0};         // endBytes is valid
    std::atomic<uint32_t> endBytes{0};     // stream byte (4 per frame since open) where the render ends
    int16_t pcm[2 * watchBlockFrames];
};

void playWatchInit(PlayWatch& watch, ModulePlayer& player, uint64_t tailLimitFrames);

// The sound output's render callback; the context is the PlayWatch.
int watchedRender(void* watch, float* dest, uint32_t frames);

// True once the byte now playing (soundOutputPlayedBytes) has passed the end.
bool playWatchFinished(const PlayWatch& watch, int32_t playedBytes);
