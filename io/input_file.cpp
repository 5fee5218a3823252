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

// Checks an open file: a regular file of at most limit bytes.
InputFileStatus checkOpenFile(int fd, uint64_t limit, uint64_t& length, std::string& reason) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        return InputFileStatus::cannotOpen;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return InputFileStatus::notRegularFile;
    }
    length = uint64_t(info.st_size);
    if (length > limit) {
        reason = std::to_string(length) + " bytes, above the limit of " + limitText(limit);
        return InputFileStatus::tooLarge;
    }
    return InputFileStatus::ok;
}

InputFileStatus readOpenFile(int fd, uint64_t limit, std::vector<uint8_t>& bytes, std::string& reason,
                             ReadBytes read) {
    uint64_t length = 0;
    const InputFileStatus status = checkOpenFile(fd, limit, length, reason);
    if (status != InputFileStatus::ok) return status;
    bytes.resize(length);
    errno = 0;
    const size_t got = read(fd, bytes.data(), bytes.size());
    if (got < length) {
        reason = shortReadReason(got, length);
        bytes.clear();
        return InputFileStatus::shortRead;
    }
    return InputFileStatus::ok;
}

}  // namespace

std::string shortReadReason(uint64_t got, uint64_t length) {
    if (errno) return std::strerror(errno);
    return "only " + std::to_string(got) + " of its " + std::to_string(length) + " bytes could be read";
}

int openInputFile(const std::string& path, uint64_t limit, uint64_t& length, InputFileStatus& status,
                  std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = std::strerror(errno);
        status = InputFileStatus::cannotOpen;
        return -1;
    }
    status = checkOpenFile(fd, limit, length, reason);
    if (status == InputFileStatus::ok) return fd;
    ::close(fd);
    return -1;
}

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
