#pragma once
// File helpers of the command-line tool.
#include <cstdint>
#include <string>
#include <vector>

// Reads a whole file; false with the system's reason on failure.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);
// Writes bytes under a temporary name beside path and renames it into place,
// so a failed write never leaves a partial file under path.
// "not a valid module: REASON", with a hint to build the file first when it
// looks like a song source (JSON).
std::string notAModule(const std::vector<uint8_t>& image, const std::string& reason);
// Writes text to standard output and flushes it; false with the system's
// reason on a write error, or with an empty reason when the reader has
// closed the pipe (not an error to report).
bool writeStandardOutput(const std::string& text, std::string& reason);
bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string& reason);
