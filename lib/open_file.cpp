// wb_open_file: the one place the library touches the file system, through
// the bounded reader the tools use (regular files only, opened without
// blocking, no larger than WB_MAX_FILE_SIZE).
#include <string>
#include <vector>
#include "io/input_file.h"
#include "lib/library_player.h"

static_assert(WB_MAX_FILE_SIZE == maxModuleFileBytes, "the library reads what the tools read");

extern "C" wb_player* wb_open_file(const char* path, const wb_config* config, char* error,
                                   size_t error_size) {
    if (!path) {
        libraryWriteError(error, error_size, "no file name (null pointer)");
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    try {
        if (readInputFile(path, WB_MAX_FILE_SIZE, bytes, reason) != InputFileStatus::ok) {
            libraryWriteError(error, error_size, (std::string(path) + ": " + reason).c_str());
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        libraryWriteError(error, error_size, (std::string(path) + ": out of memory").c_str());
        return nullptr;
    }
    char inner[512];
    wb_player* player = wb_open(bytes.data(), bytes.size(), config, inner, sizeof inner);
    if (!player) libraryWriteError(error, error_size, (std::string(path) + ": " + inner).c_str());
    return player;
}
