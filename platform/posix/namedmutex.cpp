#include "platform/namedmutex.h"

#include "runtimedir.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// A lock file per name in the per-user runtime directory. The exclusive flock is the
// ownership; the kernel drops it when the owner closes the file or dies. The file itself is
// never removed: removing a lock file while another process opens it would let two owners in.
// A second holder gets State::AlreadyExists with error() == EEXIST.

namespace platform {

SingleInstanceMutex SingleInstanceMutex::create(const std::string &name)
{
    SingleInstanceMutex mutex;
    const posix::PathResult path = posix::objectPath(name);
    if (!path.ok()) {
        mutex.m_error = path.error;
        return mutex;
    }
    const int fd = ::open(path.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        mutex.m_error = static_cast<ErrorCode>(errno);
        return mutex;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        mutex.m_state = State::Owned;
    } else if (errno == EWOULDBLOCK) {
        mutex.m_state = State::AlreadyExists;
        mutex.m_error = EEXIST;
    } else {
        mutex.m_error = static_cast<ErrorCode>(errno);
        ::close(fd);
        return mutex;
    }
    mutex.m_fd = fd;
    return mutex;
}

SingleInstanceMutex::SingleInstanceMutex(SingleInstanceMutex &&other) noexcept
    : m_state(other.m_state), m_error(other.m_error), m_fd(std::exchange(other.m_fd, -1))
{
    other.m_state = State::Failed;
}

SingleInstanceMutex &SingleInstanceMutex::operator=(SingleInstanceMutex &&other) noexcept
{
    if (this != &other) {
        release();
        m_state = std::exchange(other.m_state, State::Failed);
        m_error = other.m_error;
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

SingleInstanceMutex::~SingleInstanceMutex()
{
    release();
}

void SingleInstanceMutex::release()
{
    // Closing the only descriptor of this open file drops the lock.
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}

} // namespace platform
