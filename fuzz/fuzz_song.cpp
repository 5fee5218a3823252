// Any text as a song source. Whatever the builder accepts must be a module
// the player accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include "player/module.h"
#include "song/song.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> image;
    std::string error;
    if (!buildSongImage(text, "songs", image, error)) return 0;
    static ModuleView* view = new ModuleView;
    std::string reason;
    if (!parseModule(image.data(), static_cast<uint32_t>(image.size()), *view, reason)) {
        std::abort();  // the builder wrote a module the player refuses
    }
    return 0;
}
