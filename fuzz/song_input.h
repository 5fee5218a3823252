#pragma once
// One fuzz input as a song source: whatever the builder accepts must be a
// module the player accepts. Shared by fuzz_song and the regression test
// that replays its inputs. Patch imports resolve against songs/ (the
// working directory is the repository).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "player/module.h"
#include "song/song.h"

namespace fuzz {

enum class SongOutcome { refused, accepted, moduleRefused };

inline SongOutcome runSong(const uint8_t* data, size_t size, std::string* why = nullptr) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> image;
    std::string error;
    if (!buildSongImage(text, "songs", image, error)) {
        if (why) *why = error;
        return SongOutcome::refused;
    }
    auto view = std::make_unique<ModuleView>();
    std::string reason;
    if (!parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, reason)) {
        if (why) *why = reason;
        return SongOutcome::moduleRefused;
    }
    return SongOutcome::accepted;
}

}  // namespace fuzz
