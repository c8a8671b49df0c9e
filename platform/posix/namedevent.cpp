#include "platform/namedevent.h"

#include "runtimedir.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A manual-reset event is a one-byte state file ('1' signalled, '0' or empty not) in the
// per-user runtime directory. Open-file-description locks, which the kernel drops when the
// handle is closed or its process dies, tell whether the event is alive:
//  - byte 0: every open handle holds a shared lock on it for its whole life;
//  - byte 1: a short exclusive guard, so that "is anybody else holding it?" and the reaction
//    to the answer happen as one step.
// With no other holder the event no longer exists, as on Windows after its last handle is
// closed: a creator then resets the stale state, and an open fails with ENOENT.

namespace platform {

namespace {

constexpr off_t kHolderByte = 0;
constexpr off_t kGuardByte = 1;
constexpr char kSignalled = '1';
constexpr char kNotSignalled = '0';

int lockByte(int fd, int command, short type, off_t byte)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    int rc;
    do {
        rc = ::fcntl(fd, command, &lock);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// True when a handle other than `fd` holds the event.
bool othersHold(int fd, ErrorCode &error)
{
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kHolderByte;
    probe.l_len = 1;
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) {
        error = static_cast<ErrorCode>(errno);
        return false;
    }
    return probe.l_type != F_UNLCK;
}

bool writeState(int fd, char state, ErrorCode *error)
{
    ssize_t written;
    do {
        written = ::pwrite(fd, &state, 1, 0);
    } while (written < 0 && errno == EINTR);
    if (written == 1)
        return true;
    if (error)
        *error = written < 0 ? static_cast<ErrorCode>(errno) : EIO;
    return false;
}

// Opens the state file and joins the holders. With `create`, a missing or stale event is
// (re)initialised to not signalled with `mode`; without, it counts as missing (ENOENT).
int joinEvent(const std::string &name, bool create, mode_t mode, ErrorCode &error)
{
    const posix::PathResult path = posix::objectPath(name);
    if (!path.ok()) {
        error = path.error;
        return -1;
    }
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_CREAT : 0);
    const int fd = ::open(path.path.c_str(), flags, mode);
    if (fd < 0) {
        error = static_cast<ErrorCode>(errno);
        return -1;
    }
    const auto fail = [fd, &error](ErrorCode code) {
        error = code;
        ::close(fd);
        return -1;
    };

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(static_cast<ErrorCode>(errno));
    if (!S_ISREG(st.st_mode))
        return fail(EINVAL); // the name belongs to an object of another kind

    if (lockByte(fd, F_OFD_SETLKW, F_WRLCK, kGuardByte) != 0)
        return fail(static_cast<ErrorCode>(errno));
    ErrorCode probeError = 0;
    const bool alive = othersHold(fd, probeError);
    if (probeError != 0)
        return fail(probeError);
    if (!alive) {
        if (!create)
            return fail(ENOENT);
        ErrorCode initError = 0;
        // fchmod, not the open mode, so the umask cannot narrow who may set the event.
        if (!writeState(fd, kNotSignalled, &initError) || ::ftruncate(fd, 1) != 0 || ::fchmod(fd, mode) != 0)
            return fail(initError != 0 ? initError : static_cast<ErrorCode>(errno));
    }
    if (lockByte(fd, F_OFD_SETLK, F_RDLCK, kHolderByte) != 0)
        return fail(static_cast<ErrorCode>(errno));
    lockByte(fd, F_OFD_SETLK, F_UNLCK, kGuardByte);
    return fd;
}

} // namespace

NamedEvent NamedEvent::create(const std::string &name, Security security)
{
    NamedEvent event;
    const mode_t mode = security == Security::AnyLocalUserMaySet ? 0666 : 0600;
    event.m_fd = joinEvent(name, true, mode, event.m_error);
    event.m_canModify = event.m_fd >= 0;
    return event;
}

NamedEvent NamedEvent::open(const std::string &name, Access access)
{
    NamedEvent event;
    event.m_fd = joinEvent(name, false, 0, event.m_error);
    event.m_canModify = event.m_fd >= 0 && access == Access::Modify;
    return event;
}

NamedEvent::NamedEvent(NamedEvent &&other) noexcept
    : m_error(other.m_error), m_fd(std::exchange(other.m_fd, -1)),
      m_canModify(std::exchange(other.m_canModify, false))
{
}

NamedEvent &NamedEvent::operator=(NamedEvent &&other) noexcept
{
    if (this != &other) {
        close();
        m_error = other.m_error;
        m_fd = std::exchange(other.m_fd, -1);
        m_canModify = std::exchange(other.m_canModify, false);
    }
    return *this;
}

NamedEvent::~NamedEvent()
{
    close();
}

bool NamedEvent::valid() const
{
    return m_fd >= 0;
}

bool NamedEvent::set(ErrorCode *error)
{
    if (m_fd < 0 || !m_canModify) {
        if (error)
            *error = m_fd < 0 ? EBADF : EACCES;
        return false;
    }
    return writeState(m_fd, kSignalled, error);
}

bool NamedEvent::reset(ErrorCode *error)
{
    if (m_fd < 0 || !m_canModify) {
        if (error)
            *error = m_fd < 0 ? EBADF : EACCES;
        return false;
    }
    return writeState(m_fd, kNotSignalled, error);
}

NamedEvent::WaitResult NamedEvent::poll() const
{
    if (m_fd < 0)
        return WaitResult::Failed;
    char state = kNotSignalled;
    ssize_t got;
    do {
        got = ::pread(m_fd, &state, 1, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return WaitResult::Failed;
    return got == 1 && state == kSignalled ? WaitResult::Signalled : WaitResult::NotSignalled;
}

void NamedEvent::close()
{
    // Closing the descriptor drops this handle's holder lock.
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    m_canModify = false;
}

} // namespace platform
