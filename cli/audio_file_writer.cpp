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
#include <vector>
#include "cli/output_target.h"

bool isFlacPath(const std::string& path) {
    return path.size() >= 5 && strcasecmp(path.c_str() + path.size() - 5, ".flac") == 0;
}

// --- WAV streamed to standard output, a FIFO or a device ----------------------------------------

// Appends a little-endian value of `bytes` bytes.
static void putLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

static void putTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// A stream's header: with the sizes when the length is known, else the
// conventional open-ended sizes (all bits set) that players read to the end.
// Float samples carry the extended format record and a fact chunk.
static std::vector<uint8_t> wavHeader(SampleFormat format, uint64_t frames, uint32_t sampleRate) {
    const bool f32 = format == SampleFormat::f32;
    const uint32_t sampleBytes = f32 ? 4 : 2, frameBytes = 2 * sampleBytes;
    const bool known = frames != audioLengthUnknown && frames * frameBytes <= 0xFFFFFF00u;
    const uint32_t dataBytes = known ? static_cast<uint32_t>(frames * frameBytes) : 0xFFFFFFFFu;
    const uint32_t formatBytes = f32 ? 18 : 16, factBytes = f32 ? 12 : 0;
    const uint32_t headerBytes = 12 + 8 + formatBytes + factBytes + 8;
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    putLe(out, known ? headerBytes - 8 + dataBytes : 0xFFFFFFFFu, 4);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    putLe(out, formatBytes, 4);
    putLe(out, f32 ? 3 : 1, 2);  // IEEE float or PCM
    putLe(out, 2, 2);
    putLe(out, sampleRate, 4);
    putLe(out, sampleRate * frameBytes, 4);
    putLe(out, frameBytes, 2);
    putLe(out, 8 * sampleBytes, 2);
    if (f32) {
        putLe(out, 0, 2);
        putTag(out, "fact");
        putLe(out, 4, 4);
        putLe(out, known ? frames : 0xFFFFFFFFu, 4);
    }
    putTag(out, "data");
    putLe(out, dataBytes, 4);
    return out;
}

// Writes to the stream; a reader that has gone is noted, not an error to
// report.
static bool writeAll(AudioFileWriter& writer, const void* bytes, size_t size, std::string& reason) {
    if (writeAllTo(writer.streamFd, bytes, size)) return true;
    writer.readerGone = errno == EPIPE;
    reason = std::strerror(errno);
    return false;
}

static bool ownsStream(const AudioFileWriter& writer) {
    return writer.streamFd >= 0 && writer.streamFd != STDOUT_FILENO;
}

static bool startStream(AudioFileWriter& writer, int fd, uint64_t frames, std::string& reason) {
    writer.streaming = true;
    writer.streamFd = fd;
    const std::vector<uint8_t> header = wavHeader(writer.format, frames, static_cast<uint32_t>(writer.sampleRate));
    return writeAll(writer, header.data(), header.size(), reason);
}

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

// Opens a device or FIFO; WAV goes as a stream when it cannot seek (libsndfile
// would go back to fill in the sizes), anything else through libsndfile.
static int openInPlaceTarget(AudioFileWriter& writer, bool flac, uint64_t frames, bool& streamed,
                             std::string& reason) {
    const int fd = openInPlace(writer.path);
    if (fd < 0) {
        reason = std::strerror(errno);
        return -1;
    }
    streamed = !flac && lseek(fd, 0, SEEK_CUR) < 0;
    if (streamed && !startStream(writer, fd, frames, reason)) {
        audioFileAbandon(writer);
        return -1;
    }
    return fd;
}

bool audioFileOpen(AudioFileWriter& writer, const std::string& path, SampleFormat format,
                   uint64_t frames, std::string& reason) {
    writer.path = path;
    writer.format = format;
    if (path == "-") return startStream(writer, STDOUT_FILENO, frames, reason);
    const bool flac = isFlacPath(path);
    SF_INFO info = soundInfo(flac, format, writer.sampleRate);
    if (!sf_format_check(&info)) {
        reason = "FLAC holds no 32-bit float samples (use --format s16 or a .wav name)";
        return false;
    }
    bool streamed = false;
    const int fd = outputTargetOf(path) == OutputTarget::inPlace
                       ? openInPlaceTarget(writer, flac, frames, streamed, reason)
                       : createTemporary(path, writer.temporaryPath);
    if (fd < 0) {
        if (reason.empty()) reason = std::strerror(errno);
        return false;
    }
    if (streamed) return true;
    writer.file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!writer.file) close(fd);
    if (!writer.file) {
        reason = sf_strerror(nullptr);
        audioFileAbandon(writer);
        return false;
    }
    // No PEAK chunk: its running maximum is a scan of every sample written,
    // and a streamed WAV has none either.
    sf_command(writer.file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
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
    if (writer.streaming) return writeAll(writer, samples, size_t(frames) * 4, reason);
    errno = 0;
    return checkWritten(writer, sf_writef_short(writer.file, samples, frames), frames, reason);
}

bool audioFileWriteF32(AudioFileWriter& writer, const float* samples, uint32_t frames,
                       std::string& reason) {
    if (writer.streaming) return writeAll(writer, samples, size_t(frames) * 8, reason);
    errno = 0;
    return checkWritten(writer, sf_writef_float(writer.file, samples, frames), frames, reason);
}

bool audioFileFinish(AudioFileWriter& writer, std::string& reason) {
    if (writer.streaming) {
        const bool closed = !ownsStream(writer) || close(writer.streamFd) == 0;
        writer.streamFd = -1;
        if (!closed) reason = std::strerror(errno);
        return closed;
    }
    errno = 0;
    sf_write_sync(writer.file);
    const int closeError = sf_close(writer.file);
    writer.file = nullptr;
    if (closeError != 0) {
        reason = errno != 0 ? std::strerror(errno) : sf_error_number(closeError);
        audioFileAbandon(writer);
        return false;
    }
    if (writer.temporaryPath.empty()) return true;  // written in place
    if (std::rename(writer.temporaryPath.c_str(), writer.path.c_str()) != 0) {
        reason = std::strerror(errno);
        audioFileAbandon(writer);
        return false;
    }
    writer.temporaryPath.clear();
    return true;
}

void audioFileAbandon(AudioFileWriter& writer) {
    if (ownsStream(writer)) close(writer.streamFd);
    writer.streamFd = -1;
    if (writer.file) sf_close(writer.file);
    writer.file = nullptr;
    if (!writer.temporaryPath.empty()) unlink(writer.temporaryPath.c_str());
    writer.temporaryPath.clear();
}
