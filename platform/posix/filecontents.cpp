#include "platform/filecontents.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool fail(int fd, ErrorCode code, ErrorCode &error)
{
    if (fd >= 0)
        ::close(fd);
    error = code;
    return false;
}

} // namespace

bool readRegularFile(const std::string &path, FileContents &contents, ErrorCode &error)
{
    // Opened without waiting for a writer and without becoming a controlling terminal, so that
    // only a look at what was opened decides; anything but a regular file is left unread.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(-1, static_cast<ErrorCode>(errno), error);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(fd, EINVAL, error);

    // One byte more than the file holds: a read that comes back short has reached the end.
    std::string bytes(static_cast<std::size_t>(st.st_size) + 1, '\0');
    std::size_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &bytes[total], bytes.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail(fd, static_cast<ErrorCode>(errno), error);
        total += static_cast<std::size_t>(got);
        if (total < bytes.size())
            break;
        bytes.resize(bytes.size() * 2);
    }
    ::close(fd);
    bytes.resize(total);
    contents.bytes = std::move(bytes);
    contents.modified = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    error = 0;
    return true;
}

} // namespace platform
