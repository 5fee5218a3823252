#pragma once
// File helpers of the command-line tool.
#include <cstdint>
#include <string>
#include <vector>

// Reads a whole file; false with the system's reason on failure.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);
// Writes bytes under a temporary name beside path and renames it into place,
// so a failed write never leaves a partial file under path.
bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string& reason);
