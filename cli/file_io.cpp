#include "cli/file_io.h"
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include "cli/output_target.h"

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   uint64_t limit) {
    return readInputFile(path, limit, bytes, reason) == InputFileStatus::ok;
}

static bool writeInPlace(const std::string& path, const void* data, size_t size, std::string& reason) {
    const int fd = openInPlace(path);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    const bool written = writeAllTo(fd, data, size);
    const int savedErrno = errno;
    const bool closed = close(fd) == 0;
    if (written && closed) return true;
    reason = std::strerror(written ? errno : savedErrno);
    return false;
}

bool writeOutputFile(const std::string& path, const void* data, size_t size, std::string& reason) {
    if (outputTargetOf(path) == OutputTarget::inPlace) return writeInPlace(path, data, size, reason);
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

bool writeStandardOutput(const std::string& text, std::string& reason) {
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (written && std::fflush(stdout) == 0) return true;
    reason = errno == EPIPE ? "" : std::strerror(errno ? errno : EIO);
    std::clearerr(stdout);  // reported here, not again at exit
    return false;
}

std::string notAModule(const std::vector<uint8_t>& image, const std::string& reason) {
    size_t first = 0;
    while (first < image.size() && std::isspace(image[first])) ++first;
    const bool looksLikeJson = first < image.size() && (image[first] == '{' || image[first] == '[');
    if (looksLikeJson) return "not a module but a song source (JSON): turn it into one with q7m build";
    return "not a valid module: " + reason;
}
