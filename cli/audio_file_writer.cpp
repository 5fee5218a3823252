#include "cli/audio_file_writer.h"
#include <sndfile.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

bool isFlacPath(const std::string& path) {
    return path.size() >= 5 && strcasecmp(path.c_str() + path.size() - 5, ".flac") == 0;
}

// --- libsndfile's virtual I/O over a MemoryFile ---------------------------

static sf_count_t memoryLength(void* user) {
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

static sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    MemoryFile& m = *static_cast<MemoryFile*>(user);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m.position
                                                                : static_cast<int64_t>(m.bytes.size());
    if (base + offset < 0) return -1;
    m.position = base + offset;
    return m.position;
}

static sf_count_t memoryRead(void* ptr, sf_count_t count, void* user) {
    MemoryFile& m = *static_cast<MemoryFile*>(user);
    const int64_t size = static_cast<int64_t>(m.bytes.size());
    const int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, size - m.position));
    if (n > 0) std::memcpy(ptr, m.bytes.data() + m.position, static_cast<size_t>(n));
    m.position += n;
    return n;
}

static sf_count_t memoryWrite(const void* ptr, sf_count_t count, void* user) {
    MemoryFile& m = *static_cast<MemoryFile*>(user);
    const size_t end = static_cast<size_t>(m.position + count);
    if (end > m.bytes.size()) m.bytes.resize(end);
    std::memcpy(m.bytes.data() + m.position, ptr, static_cast<size_t>(count));
    m.position += count;
    return count;
}

static sf_count_t memoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

static SF_VIRTUAL_IO memoryIo = {memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};

// --- opening ----------------------------------------------------------------

static SF_INFO soundInfo(bool flac, SampleFormat format, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = (flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV) |
                  (format == SampleFormat::f32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    return info;
}

static std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static std::string baseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A new, empty file beside path, readable as a normally created file would be.
static int createTemporary(const std::string& path, std::string& temporaryPath) {
    std::string pattern = directoryOf(path) + "/." + baseNameOf(path) + ".q7m-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return -1;
    temporaryPath = name.data();
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return fd;
}

bool audioFileOpen(AudioFileWriter& writer, const std::string& path, SampleFormat format,
                   std::string& reason) {
    writer.path = path;
    writer.format = format;
    const bool toStdout = path == "-";
    SF_INFO info = soundInfo(!toStdout && isFlacPath(path), format, writer.sampleRate);
    if (!sf_format_check(&info)) {
        reason = "FLAC holds no 32-bit float samples (use --format s16 or a .wav name)";
        return false;
    }
    if (toStdout) {
        writer.file = sf_open_virtual(&memoryIo, SFM_RDWR, &info, &writer.memory);
    } else {
        const int fd = createTemporary(path, writer.temporaryPath);
        if (fd < 0) {
            reason = std::strerror(errno);
            return false;
        }
        writer.file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
        if (!writer.file) close(fd);
    }
    if (!writer.file) {
        reason = sf_strerror(nullptr);
        audioFileAbandon(writer);
        return false;
    }
    return true;
}

// --- writing ----------------------------------------------------------------

static bool checkWritten(AudioFileWriter& writer, sf_count_t written, uint32_t frames,
                         std::string& reason) {
    if (written == static_cast<sf_count_t>(frames)) return true;
    reason = errno != 0 ? std::strerror(errno) : sf_strerror(writer.file);
    return false;
}

bool audioFileWriteS16(AudioFileWriter& writer, const int16_t* samples, uint32_t frames,
                       std::string& reason) {
    errno = 0;
    return checkWritten(writer, sf_writef_short(writer.file, samples, frames), frames, reason);
}

bool audioFileWriteF32(AudioFileWriter& writer, const float* samples, uint32_t frames,
                       std::string& reason) {
    errno = 0;
    return checkWritten(writer, sf_writef_float(writer.file, samples, frames), frames, reason);
}

static bool writeAll(int fd, const uint8_t* data, size_t size, std::string& reason) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reason = std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool audioFileFinish(AudioFileWriter& writer, std::string& reason) {
    errno = 0;
    sf_write_sync(writer.file);
    const int closeError = sf_close(writer.file);
    writer.file = nullptr;
    if (closeError != 0) {
        reason = errno != 0 ? std::strerror(errno) : sf_error_number(closeError);
        audioFileAbandon(writer);
        return false;
    }
    if (writer.temporaryPath.empty()) {
        return writeAll(STDOUT_FILENO, writer.memory.bytes.data(), writer.memory.bytes.size(),
                        reason);
    }
    if (std::rename(writer.temporaryPath.c_str(), writer.path.c_str()) != 0) {
        reason = std::strerror(errno);
        audioFileAbandon(writer);
        return false;
    }
    writer.temporaryPath.clear();
    return true;
}

void audioFileAbandon(AudioFileWriter& writer) {
    if (writer.file) sf_close(writer.file);
    writer.file = nullptr;
    if (!writer.temporaryPath.empty()) unlink(writer.temporaryPath.c_str());
    writer.temporaryPath.clear();
}
