#pragma once
// File helpers of the command-line tool.
#include <cstdint>
#include <cstdio>
#include <streambuf>
#include <string>
#include <vector>
#include "io/input_file.h"

// Reads a whole regular file of at most limit bytes (readInputFile); false
// with the reason on failure.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   uint64_t limit = maxModuleFileBytes);
// A regular file of at most limit bytes (checked as readWholeFile checks
// it) read in chunks, for a parser that takes a stream.
class FileReadBuffer : public std::streambuf {
public:
    FileReadBuffer() = default;
    FileReadBuffer(const FileReadBuffer&) = delete;
    FileReadBuffer& operator=(const FileReadBuffer&) = delete;
    ~FileReadBuffer() override;
    bool open(const std::string& path, uint64_t limit, std::string& reason);
    // False with the reason when the file ended before its length, or a
    // read failed, before the parser was done.
    bool complete(std::string& reason) const;

protected:
    int_type underflow() override;

private:
    int fd_ = -1;
    uint64_t length_ = 0;
    uint64_t got_ = 0;
    int error_ = 0;
    bool cutShort_ = false;
    char chunk_[1 << 16];
};

// "not a valid module: REASON", with a hint to build the file first when it
// looks like a song source (JSON).
std::string notAModule(const std::vector<uint8_t>& image, const std::string& reason);
// An output written piece by piece and placed as outputTargetOf decides:
// under a temporary name renamed into place when finished (a failed write
// never leaves a partial file under path), directly into a device or FIFO,
// or to standard output (an OutputStream whose file is stdout, not opened).
struct OutputStream {
    FILE* file = nullptr;
    std::string temporaryPath;  // empty: written in place or to standard output
    std::string path;
    int error = 0;              // errno of the first failed write
};
bool outputOpen(OutputStream& output, const std::string& path, std::string& reason);
// Appends bytes; false (and nothing more written) after a failed write.
bool outputWrite(OutputStream& output, const void* data, size_t size);
// Flushes and closes the output and puts it in place; false with the
// system's reason, or with an empty reason when the reader of standard
// output has closed the pipe (not an error to report).
bool outputFinish(OutputStream& output, std::string& reason);
// Closes an unfinished output and removes its temporary file.
void outputAbandon(OutputStream& output);
// Writes text to standard output and flushes it (outputFinish's results).
bool writeStandardOutput(const std::string& text, std::string& reason);
// Writes bytes to path as an OutputStream places them.
bool writeOutputFile(const std::string& path, const void* data, size_t size, std::string& reason);
