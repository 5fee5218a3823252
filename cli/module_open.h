#pragma once
// q7m's way into the library: a module file read whole, then opened as a
// wb_player (one per render or playback; several may share the bytes).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "include/wembrastel/wembrastel.h"

struct PlayerCloser {
    void operator()(wb_player* player) const { wb_close(player); }
};
using PlayerHandle = std::unique_ptr<wb_player, PlayerCloser>;

// Reads the module file; false with the system's reason (exit status 1).
bool readModule(const std::string& path, std::vector<uint8_t>& image, std::string& reason);

// The library's defaults at sampleRate; a null seed takes one from the clock.
wb_config playerConfig(uint32_t sampleRate, const uint32_t* seed);

// Opens image with config. Null with "not a valid module: REASON" or another
// reason (exit status 2).
PlayerHandle openPlayer(const std::vector<uint8_t>& image, const wb_config& config,
                        std::string& reason);

// The number of the last event's frame; a render reaches the song's end there.
uint64_t songEndFrame(const wb_player* player);

// For the render-length rule: the frame of a block of frames starting at
// frame `at` where the song ends (0 when it ended before the block), or
// songNotEnded.
uint32_t songEndInBlock(uint64_t songEnd, uint64_t at, uint32_t frames);
