#pragma once
// What q7m play's sound output renders: the current track's wb_player, or
// silence while paused, between tracks or while a seek runs; and, for the
// display, which track frame each stretch of the stream holds.
//
// sessionRender runs on the sound output thread inside the output's lock;
// every other function takes that lock itself (window thread). The player
// is used by one thread at a time: while installed only under the lock.
#include <atomic>
#include <cstdint>
#include "cli/module_open.h"
#include "player/render_length.h"

struct SoundOutput;

constexpr uint32_t sessionBlockFrames = 16384;  // the sound output's largest request
constexpr int sessionAnchorCount = 256;

// A stretch of the stream from byte streamBytes on: track frame `frame`
// on, counting on when advancing (otherwise silence that holds the place).
struct StreamAnchor {
    uint32_t streamBytes;
    uint64_t frame;
    int32_t track;
    int32_t advancing;
};

struct PlaySession {
    SoundOutput* output = nullptr;
    // --- under the output's lock ---
    wb_player* player = nullptr;  // null: silence
    int32_t track = -1;
    int32_t paused = 0;
    uint64_t songEnd = 0;
    RenderLength length{};
    uint32_t streamBytes = 0;     // bytes rendered since the output started (wrapping)
    StreamAnchor anchors[sessionAnchorCount]{};
    int32_t anchorNext = 0;
    int16_t pcm[2 * sessionBlockFrames];
    // --- read without the lock ---
    std::atomic<int32_t> ended{0};      // the track's render has ended at endBytes
    std::atomic<uint32_t> endBytes{0};
};

// Binds the session to the output it renders for, with nothing installed.
void sessionInit(PlaySession& session, SoundOutput& output);

// The sound output's render callback; the context is the PlaySession.
int sessionRender(void* session, float* dest, uint32_t frames);

// Makes player (null: none) the one rendered from now on as track, with the
// render-length rule of q7m render restarted; returns the player it replaced.
wb_player* sessionInstall(PlaySession& session, wb_player* player, int32_t track);
void sessionSetPaused(PlaySession& session, bool paused);
// Moves the installed track to frame (silence while the seek renders, off
// the lock) and restarts the length rule there.
void sessionSeek(PlaySession& session, uint64_t frame);

// Runs f(player) under the output's lock (f must be quick: a mute, a level).
template <typename F>
void sessionWithPlayer(PlaySession& session, F f);

// The track and its frame at the stream byte now heard; false before any
// track has been heard.
bool sessionHeard(PlaySession& session, int32_t heardBytes, int32_t& track, uint64_t& frame);

// True once the byte now heard has passed the end of the track's render.
bool sessionTrackFinished(const PlaySession& session, int32_t heardBytes);

void sessionLock(PlaySession& session);
void sessionUnlock(PlaySession& session);

template <typename F>
void sessionWithPlayer(PlaySession& session, F f) {
    sessionLock(session);
    if (session.player) f(session.player);
    sessionUnlock(session);
}
