#pragma once
// The sound device of q7m live: SDL in callback mode with a short buffer,
// rendering each block with the live engine directly on SDL's audio thread.
#include <SDL.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>
#include "player/live_engine.h"

struct LiveAudio {
    SDL_AudioDeviceID device = 0;
    LiveEngine* engine = nullptr;
    std::vector<float> floats;          // one block, sized before the device starts
    uint32_t blockFrames = 0;           // the device's buffer as obtained
    std::atomic<uint32_t> peakLeft{0};  // 0..32768 since the last take
    std::atomic<uint32_t> peakRight{0};
    std::atomic<uint32_t> underruns{0};  // blocks that took longer to render than to play
    std::atomic<uint64_t> silentFrames{0};  // silent output frames in a row
    std::atomic<uint64_t> frames{0};        // output frames rendered
    std::atomic<uint32_t> slowestBlockMicros{0};  // the longest a block took to render
};

// Opens the device with a buffer of about bufferFrames and starts it; false
// with SDL's reason.
bool liveAudioStart(LiveAudio& audio, LiveEngine& engine, uint32_t bufferFrames, std::string& reason);
void liveAudioStop(LiveAudio& audio);
