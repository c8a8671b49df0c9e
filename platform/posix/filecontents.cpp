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
    // Looked at before it is opened: opening a device or a FIFO can block or have effects.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail(-1, static_cast<ErrorCode>(errno), error);
    if (!S_ISREG(st.st_mode))
        return fail(-1, EINVAL, error);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(-1, static_cast<ErrorCode>(errno), error);
    // What was opened may have been swapped in after the look.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(fd, EINVAL, error);

    std::string bytes(static_cast<std::size_t>(st.st_size) + 1, '\0');
    std::size_t total = 0;
    for (;;) {
        if (total == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = ::read(fd, &bytes[total], bytes.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail(fd, static_cast<ErrorCode>(errno), error);
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(total);
    contents.bytes = std::move(bytes);
    contents.modified = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    error = 0;
    return true;
}

} // namespace platform
