#include "io/input_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

size_t readAll(int fd, uint8_t* dest, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, dest + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    return got;
}

std::string limitText(uint64_t limit) {
    if (limit % (uint64_t(1) << 20) == 0) return std::to_string(limit >> 20) + " MiB";
    return std::to_string(limit) + " bytes";
}

InputFileStatus readOpenFile(int fd, uint64_t limit, std::vector<uint8_t>& bytes, std::string& reason,
                             ReadBytes read) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        return InputFileStatus::cannotOpen;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return InputFileStatus::notRegularFile;
    }
    const uint64_t length = uint64_t(info.st_size);
    if (length > limit) {
        reason = std::to_string(length) + " bytes, above the limit of " + limitText(limit);
        return InputFileStatus::tooLarge;
    }
    bytes.resize(length);
    errno = 0;
    const size_t got = read(fd, bytes.data(), bytes.size());
    if (got < length) {
        reason = errno ? std::strerror(errno)
                       : "only " + std::to_string(got) + " of its " + std::to_string(length) +
                             " bytes could be read";
        bytes.clear();
        return InputFileStatus::shortRead;
    }
    return InputFileStatus::ok;
}

}  // namespace

InputFileStatus readInputFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes,
                              std::string& reason, ReadBytes read) {
    bytes.clear();
    // Non-blocking, so that opening a FIFO without a writer returns at once;
    // nothing but a regular file is read after that.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = std::strerror(errno);
        return InputFileStatus::cannotOpen;
    }
    const InputFileStatus status = readOpenFile(fd, limit, bytes, reason, read ? read : readAll);
    ::close(fd);
    return status;
}
