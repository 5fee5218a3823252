#include "cli/output_target.h"
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

OutputTarget outputTargetOf(const std::string& path) {
    struct stat info {};
    // stat follows a symbolic link: a link to /dev/null is written into, a
    // link to a regular file is replaced like the file.
    if (stat(path.c_str(), &info) != 0) return OutputTarget::newFile;
    return S_ISREG(info.st_mode) ? OutputTarget::regularFile : OutputTarget::inPlace;
}

bool outputReplacesFile(const std::string& path) { return outputTargetOf(path) == OutputTarget::regularFile; }

int openInPlace(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CLOEXEC); }

bool writeAllTo(int fd, const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
