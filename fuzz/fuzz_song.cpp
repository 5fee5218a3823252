// Any text as a song source. Whatever the builder accepts must be a module
// the player accepts, and the builder's streaming reader must agree with
// compiling the whole parsed tree: the same module or the same message.
#include <cstdlib>
#include "fuzz/song_input.h"

namespace {

void compareWithTree(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json tree = nlohmann::json::parse(text, nullptr, false);
    if (tree.is_discarded()) return;
    std::vector<uint8_t> streamed, whole;
    std::string streamedError, treeError;
    buildSongImage(text, "songs", streamed, streamedError);
    ModuleSource module;
    if (compileSong(tree, "songs", module, treeError)) writeModule(module, whole, treeError);
    if (streamed != whole || streamedError != treeError) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (fuzz::runSong(data, size) == fuzz::SongOutcome::moduleRefused) {
        std::abort();  // the builder wrote a module the player refuses
    }
    compareWithTree(data, size);
    return 0;
}
