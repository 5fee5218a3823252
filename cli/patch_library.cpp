#include "cli/patch_library.h"
#include <filesystem>
#include "cli/file_io.h"

#ifndef WB_SOURCE_PATCH_DIR
#define WB_SOURCE_PATCH_DIR "songs/patches"
#endif

namespace {

// Installed beside the program (PREFIX/bin/q7m, PREFIX/share/wembrastel/
// patches), else the source tree the program was built from.
std::filesystem::path patchLibrary() {
    std::error_code code;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", code);
    if (!code) {
        const std::filesystem::path installed = self.parent_path().parent_path() / "share/wembrastel/patches";
        if (std::filesystem::is_directory(installed, code)) return installed;
    }
    return WB_SOURCE_PATCH_DIR;
}

}  // namespace

bool loadMidiMapping(const std::string& mappingFile, MidiMapping& mapping, std::string& reason, int& status) {
    mapping = defaultMidiMapping(patchLibrary());
    if (mappingFile.empty()) return true;
    std::vector<uint8_t> bytes;
    status = 1;
    // A mapping names at most a few hundred patches; its tree is many times
    // its text, so a larger file is refused unread.
    constexpr uint64_t maxMappingFileBytes = uint64_t(1) << 20;
    if (!readWholeFile(mappingFile, bytes, reason, maxMappingFileBytes)) return false;
    status = 2;
    const nlohmann::json file = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (file.is_discarded()) {
        reason = "not valid JSON";
        return false;
    }
    return applyMidiMappingFile(file, std::filesystem::path(mappingFile).parent_path(), mapping, reason);
}
