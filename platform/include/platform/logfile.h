#pragma once

#include "platform/error.h"

#include <cstdio>
#include <string>

// Log files of the product. A log is never written through a symbolic link, and what is
// created for it is never writable by group or others, whatever the process's umask.

namespace platform {

// Creates `path` and its missing parents (Linux: mode 0755 less the umask). True when `path` is
// a directory afterwards.
bool makeLogDirectory(const std::string &path, ErrorCode &error);

// Whether a log may be kept in the directory `path`: it is this user's own, or nobody else can
// write to it (so nobody else can plant a file or link there). Always true on Windows, where
// the folder's access list decides.
bool isSafeLogDirectory(const std::string &path);

// A path given in the system's local 8-bit encoding (the ANSI code page on Windows, UTF-8 on
// Linux) in UTF-8, the encoding the calls here take. Bytes that do not decode become U+FFFD.
std::string localPathToUtf8(const std::string &path);

// Opens `path` for appending in binary mode, creating it when missing (Linux: mode 0644 less
// the umask). Fails for a symbolic link (ELOOP on Linux, ERROR_CANT_ACCESS_FILE on Windows) and
// for anything but a regular file, without blocking on a FIFO. nullptr with `error` on failure.
std::FILE *openLogFile(const std::string &path, ErrorCode &error);

// Appends `text` and the system's line end ("\r\n" on Windows, "\n" on Linux) to a file from
// openLogFile() with one write at the file's end, past the stream's buffer (a file written this
// way is never written through the stream). The line goes in whole or not at all: when the
// system takes only part of it (a full disk, a file-size limit), that part is cut off again, so
// a later line starts where this one would have, unless another process appended meanwhile,
// whose line is never cut. False with the error when the line is not in the file (a short write
// gives no reason of its own: ENOSPC, ERROR_DISK_FULL); nothing of it is kept, and the next call
// tries afresh.
bool appendLine(std::FILE *file, const std::string &text, ErrorCode &error);

} // namespace platform
