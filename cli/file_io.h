#pragma once
// File helpers of the command-line tool.
#include <cstdint>
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
// Writes text to standard output and flushes it; false with the system's
// reason on a write error, or with an empty reason when the reader has
// closed the pipe (not an error to report).
bool writeStandardOutput(const std::string& text, std::string& reason);
// Writes bytes to path as outputTargetOf decides: under a temporary name
// renamed into place (a failed write never leaves a partial file under
// path), or directly into a device or FIFO.
bool writeOutputFile(const std::string& path, const void* data, size_t size, std::string& reason);
