#pragma once
// Where a render of a song ends. The song plays to its end (the step that
// clears `playing`); after that its tails are kept until the 16-bit output
// has been silent (every sample 0) for one second, and at most a tail limit
// after the end. Offline rendering and live playback use the same rule.
//
// Pure bookkeeping: no allocation, no locks, no I/O; it may be fed from the
// sound output thread.
#include <cstdint>

constexpr double defaultTailSeconds = 30.0;
constexpr uint32_t songNotEnded = 0xFFFFFFFFu;   // block offset: the song goes on

struct RenderLength {
    uint64_t tailLimitFrames;  // most frames kept after the song's end
    uint64_t silenceFrames;    // a silent run this long ends the tail (one second)
    uint64_t tailFrames;       // frames kept since the song's end
    uint64_t silentRun;        // silent frames in a row since the song's end
    int32_t songEnded;
    int32_t done;
};

// Frames of a tail limit given in seconds (negative counts as 0).
uint64_t tailSecondsToFrames(double seconds, uint32_t sampleRate = 44100);

// sampleRate sets the one second of silence that ends a tail.
void renderLengthInit(RenderLength& length, uint64_t tailLimitFrames, uint32_t sampleRate = 44100);

// Takes the next block of interleaved 16-bit stereo frames. endOffset is the
// frame of this block at which the song ended (frames when it ended right
// after the block's last frame), or songNotEnded while it goes
// on (ignored once the end has been seen). Returns how many frames of the
// block belong to the render: all of them while it goes on, fewer (possibly
// 0) when it ends inside the block, 0 for every block after that.
uint32_t renderLengthFeed(RenderLength& length, const int16_t* pcm, uint32_t frames,
                          uint32_t endOffset);

bool renderLengthDone(const RenderLength& length);
