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
// Writes bytes under a temporary name beside path and renames it into place,
// so a failed write never leaves a partial file under path.
bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string& reason);
