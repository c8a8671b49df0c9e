#include "platform/logfile.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool makeLogDirectory(const std::string &path, ErrorCode &error)
{
    error = 0;
    // Each level is made with an explicit mode, unlike a umask-only default of 0777.
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string level = path.substr(0, end);
        if (!level.empty() && ::mkdir(level.c_str(), 0755) != 0 && errno != EEXIST)
            error = static_cast<ErrorCode>(errno);
        if (end == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error == 0)
            error = ENOTDIR;
        return false;
    }
    error = 0;
    return true;
}

bool isSafeLogDirectory(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           (st.st_uid == ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0);
}

std::string localPathToUtf8(const std::string &path)
{
    return path;
}

std::FILE *openLogFile(const std::string &path, ErrorCode &error)
{
    // O_NONBLOCK: a FIFO planted as the log must not hold the opener; cleared once it is known
    // to be a regular file.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = static_cast<ErrorCode>(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = EINVAL;
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE *file = ::fdopen(fd, "ab");
    if (file == nullptr) {
        error = static_cast<ErrorCode>(errno);
        ::close(fd);
        return nullptr;
    }
    error = 0;
    return file;
}

bool appendLine(std::FILE *file, const std::string &text, ErrorCode &error)
{
    const int fd = file != nullptr ? ::fileno(file) : -1;
    if (fd < 0) {
        error = EBADF;
        return false;
    }
    const std::string line = text + '\n';
    ssize_t written = 0;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(line.size())) {
        error = 0;
        return true;
    }
    if (written < 0) {
        error = static_cast<ErrorCode>(errno);
        return false;
    }
    // Written at the end (O_APPEND), so the offset now is where the part ends. It goes only
    // while it is still the file's end: a line another writer appended after it stays whole.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat st {};
    if (end >= written && ::fstat(fd, &st) == 0 && st.st_size == end) {
        // A part that stays is a torn line; there is nothing more to try when it does.
        [[maybe_unused]] const int cut = ::ftruncate(fd, end - written);
    }
    error = ENOSPC;
    return false;
}

} // namespace platform
