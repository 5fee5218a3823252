#include "cli/file_io.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   uint64_t limit) {
    return readInputFile(path, limit, bytes, reason) == InputFileStatus::ok;
}

bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string& reason) {
    const std::string temporary = path + ".part" + std::to_string(getpid());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const int savedErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = std::strerror(written && closed ? errno : savedErrno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
