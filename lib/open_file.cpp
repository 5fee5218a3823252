// wb_open_file: the one place the library touches the file system.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "lib/library_player.h"

namespace {

// Reads the regular file at path, at most WB_MAX_FILE_SIZE bytes. Opened
// non-blocking so that a FIFO or device named by mistake cannot hang the
// open; the type is checked on the open descriptor, not on the name.
bool readModuleFile(const char* path, std::vector<uint8_t>& bytes, std::string& reason) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat status {};
    bool ok = false;
    if (::fstat(fd, &status) != 0) reason = std::strerror(errno);
    else if (!S_ISREG(status.st_mode)) reason = "not a regular file";
    else if (status.st_size > off_t(WB_MAX_FILE_SIZE)) reason = "larger than 64 MiB";
    else ok = true;
    // Read to the end (not to the size seen) in case the file changes, but
    // never past the limit.
    try {
        while (ok) {
            uint8_t block[65536];
            const ssize_t got = ::read(fd, block, sizeof block);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                reason = std::strerror(errno);
                ok = false;
            } else if (got == 0) {
                break;
            } else if (bytes.size() + size_t(got) > WB_MAX_FILE_SIZE) {
                reason = "larger than 64 MiB";
                ok = false;
            } else {
                bytes.insert(bytes.end(), block, block + got);
            }
        }
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
        ok = false;
    }
    ::close(fd);
    return ok;
}

}  // namespace

extern "C" wb_player* wb_open_file(const char* path, const wb_config* config, char* error,
                                   size_t error_size) {
    if (!path) {
        libraryWriteError(error, error_size, "no file name (null pointer)");
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!readModuleFile(path, bytes, reason)) {
        libraryWriteError(error, error_size, (std::string(path) + ": " + reason).c_str());
        return nullptr;
    }
    char inner[512];
    wb_player* player = wb_open(bytes.data(), bytes.size(), config, inner, sizeof inner);
    if (!player) libraryWriteError(error, error_size, (std::string(path) + ": " + inner).c_str());
    return player;
}
