// Any text as a song source. Whatever the builder accepts must be a module
// the player accepts.
#include <cstdlib>
#include "fuzz/song_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (fuzz::runSong(data, size) == fuzz::SongOutcome::moduleRefused) {
        std::abort();  // the builder wrote a module the player refuses
    }
    return 0;
}
