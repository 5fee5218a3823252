#include "cli/file_io.h"
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(file) != 0;
    if (failed) reason = std::strerror(errno);
    std::fclose(file);
    return !failed;
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
