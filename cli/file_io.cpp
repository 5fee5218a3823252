#include "cli/file_io.h"
#include <algorithm>
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

FileReadBuffer::~FileReadBuffer() {
    if (fd_ >= 0) close(fd_);
}

bool FileReadBuffer::open(const std::string& path, uint64_t limit, std::string& reason) {
    InputFileStatus status{};
    fd_ = openInputFile(path, limit, length_, status, reason);
    return fd_ >= 0;
}

bool FileReadBuffer::complete(std::string& reason) const {
    if (!cutShort_) return true;  // a parser may stop before the end
    errno = error_;
    reason = shortReadReason(got_, length_);
    return false;
}

FileReadBuffer::int_type FileReadBuffer::underflow() {
    if (got_ >= length_ || cutShort_) return traits_type::eof();
    const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof chunk_, length_ - got_));
    ssize_t n = 0;
    do {
        n = read(fd_, chunk_, want);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        error_ = n < 0 ? errno : 0;  // n == 0: the file was cut short while read
        cutShort_ = true;
        return traits_type::eof();
    }
    got_ += static_cast<uint64_t>(n);
    setg(chunk_, chunk_, chunk_ + n);
    return traits_type::to_int_type(chunk_[0]);
}

bool outputOpen(OutputStream& output, const std::string& path, std::string& reason) {
    output = OutputStream{};
    output.path = path;
    if (outputTargetOf(path) == OutputTarget::inPlace) {
        const int fd = openInPlace(path);
        output.file = fd < 0 ? nullptr : fdopen(fd, "wb");
        if (!output.file && fd >= 0) close(fd);
    } else {
        output.temporaryPath = path + ".part" + std::to_string(getpid());
        output.file = std::fopen(output.temporaryPath.c_str(), "wb");
    }
    if (output.file) return true;
    reason = std::strerror(errno);
    return false;
}

bool outputWrite(OutputStream& output, const void* data, size_t size) {
    if (output.error) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, output.file) == size) return true;
    output.error = errno ? errno : EIO;
    return false;
}

bool outputFinish(OutputStream& output, std::string& reason) {
    errno = 0;
    const bool flushed = std::fflush(output.file) == 0;
    if (!output.error && !flushed) output.error = errno ? errno : EIO;
    if (output.file == stdout) {
        std::clearerr(stdout);  // reported here, not again at exit
        if (!output.error) return true;
        reason = output.error == EPIPE ? "" : std::strerror(output.error);
        return false;
    }
    if (std::fclose(output.file) != 0 && !output.error) output.error = errno ? errno : EIO;
    output.file = nullptr;
    if (!output.error && !output.temporaryPath.empty() &&
        std::rename(output.temporaryPath.c_str(), output.path.c_str()) != 0) {
        output.error = errno;
    }
    if (!output.error) return true;
    reason = std::strerror(output.error);
    if (!output.temporaryPath.empty()) std::remove(output.temporaryPath.c_str());
    return false;
}

void outputAbandon(OutputStream& output) {
    if (output.file == stdout) return;
    std::fclose(output.file);
    output.file = nullptr;
    if (!output.temporaryPath.empty()) std::remove(output.temporaryPath.c_str());
}

bool writeOutputFile(const std::string& path, const void* data, size_t size, std::string& reason) {
    OutputStream output;
    if (!outputOpen(output, path, reason)) return false;
    outputWrite(output, data, size);
    return outputFinish(output, reason);
}

bool writeStandardOutput(const std::string& text, std::string& reason) {
    OutputStream output;
    output.file = stdout;
    outputWrite(output, text.data(), text.size());
    return outputFinish(output, reason);
}

std::string notAModule(const std::vector<uint8_t>& image, const std::string& reason) {
    size_t first = 0;
    while (first < image.size() && std::isspace(image[first])) ++first;
    const bool looksLikeJson = first < image.size() && (image[first] == '{' || image[first] == '[');
    if (looksLikeJson) return "not a module but a song source (JSON): turn it into one with q7m build";
    return "not a valid module: " + reason;
}
