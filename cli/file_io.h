#pragma once
// File helpers of the command-line tool.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "io/input_file.h"

// Reads a whole regular file of at most limit bytes (readInputFile); false
// with the reason on failure.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   uint64_t limit = maxModuleFileBytes);
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
