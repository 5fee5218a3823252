#pragma once
// Reading a named input file whole, the one way the command-line tool and
// the window do it: only a regular file, opened without blocking (a FIFO or
// a device under a module's name neither hangs nor floods memory), and no
// larger than the caller's limit, checked before anything is read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The format allows up to 4 GB, but real modules are a few kilobytes to a few
// megabytes: anything larger is refused unread.
constexpr uint64_t maxModuleFileBytes = uint64_t(64) << 20;  // 64 MiB
static_assert(maxModuleFileBytes <= 0xFFFFFFFFu, "a module read whole has a 32-bit size");
// Song sources (JSON text) are many times larger than their modules.
constexpr uint64_t maxSongFileBytes = uint64_t(256) << 20;   // 256 MiB

enum class InputFileStatus {
    ok,
    cannotOpen,      // missing, no permission, ...
    notRegularFile,  // a folder, FIFO, device or socket
    tooLarge,        // above the limit
    shortRead,       // fewer bytes than the file's length arrived (or a read error)
};

// Reads up to size bytes from fd; read(2) unless a test stands in.
using ReadBytes = size_t (*)(int fd, uint8_t* dest, size_t size);

// Reads path whole into bytes (emptied first). On anything but ok, bytes is
// empty and reason says why, e.g. "not a regular file" or "3221225472 bytes,
// above the limit of 64 MiB".
InputFileStatus readInputFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes,
                              std::string& reason, ReadBytes read = nullptr);

// Opens path as readInputFile would read it (the same checks, before
// anything is read) for reading piece by piece: the descriptor and the
// file's length, or -1 with the status and the reason.
int openInputFile(const std::string& path, uint64_t limit, uint64_t& length, InputFileStatus& status,
                  std::string& reason);
// Why fewer than length bytes arrived (errno's text when it is set).
std::string shortReadReason(uint64_t got, uint64_t length);
