#pragma once

#include "platform/error.h"

#include <cstdint>
#include <string>

// Whole small files, such as the installation's configuration, read without anything of a
// framework: cheap enough to do on every request, on any thread.

namespace platform {

struct FileContents {
    std::string bytes;
    // The file's last modification time, as finely as the system keeps it: files with equal
    // bytes but different stamps were written at different times.
    std::int64_t modified = 0;
};

// Reads the regular file `path` (UTF-8) whole. Fails for anything else (a folder, a FIFO, a
// device) without reading from it or blocking on it; `error` says why.
bool readRegularFile(const std::string &path, FileContents &contents, ErrorCode &error);

} // namespace platform
