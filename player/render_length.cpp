#include "player/render_length.h"
#include <cmath>

uint64_t tailSecondsToFrames(double seconds, uint32_t sampleRate) {
    if (!(seconds > 0)) return 0;
    double frames = std::floor(seconds * sampleRate + 0.5);
    if (frames >= 1.8e19) return UINT64_MAX;
    return static_cast<uint64_t>(frames);
}

void renderLengthInit(RenderLength& length, uint64_t tailLimitFrames, uint32_t sampleRate) {
    length = RenderLength{};
    length.tailLimitFrames = tailLimitFrames;
    length.silenceFrames = sampleRate;
}

// One frame of the tail; returns false when the render ends before it.
static bool keepTailFrame(RenderLength& length, const int16_t* frame) {
    if (length.tailFrames >= length.tailLimitFrames) {
        length.done = 1;
        return false;
    }
    length.tailFrames += 1;
    length.silentRun = (frame[0] == 0 && frame[1] == 0) ? length.silentRun + 1 : 0;
    if (length.silentRun >= length.silenceFrames) length.done = 1;
    return true;
}

uint32_t renderLengthFeed(RenderLength& length, const int16_t* pcm, uint32_t frames,
                          uint32_t endOffset) {
    if (length.done) return 0;
    uint32_t i = 0;
    if (!length.songEnded) {
        if (endOffset == songNotEnded || endOffset > frames) return frames;
        length.songEnded = 1;
        i = endOffset;
    }
    for (; i < frames; ++i) {
        if (!keepTailFrame(length, pcm + 2 * i)) return i;
        if (length.done) return i + 1;
    }
    // A limit reached exactly at the block's end ends the render here.
    if (length.tailFrames >= length.tailLimitFrames) length.done = 1;
    return frames;
}

bool renderLengthDone(const RenderLength& length) { return length.done != 0; }
