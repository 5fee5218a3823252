#pragma once
// How an output file is written. A new path or a regular file is written
// under a temporary name beside it and renamed into place when complete, so a
// failed write never leaves a partial file there. Anything else that already
// exists under the name (a device such as /dev/null, a FIFO, a socket) is
// opened and written directly, as a shell redirection would: renaming over it
// would replace the node itself with a regular file.
#include <string>

enum class OutputTarget {
    newFile,      // nothing there yet: temporary, then rename
    regularFile,  // replaced only with --force: temporary, then rename
    inPlace,      // not a regular file: written directly, no --force needed
};

OutputTarget outputTargetOf(const std::string& path);
// True when writing path would replace an existing file, which needs --force.
bool outputReplacesFile(const std::string& path);
// Opens an in-place target for writing; -1 with errno set on failure.
int openInPlace(const std::string& path);
// Writes all of size bytes to fd, retrying on interruption; false with errno set.
bool writeAllTo(int fd, const void* data, size_t size);
