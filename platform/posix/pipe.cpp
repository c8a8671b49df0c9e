#include "platform/pipe.h"

#include "runtimedir.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

// The pipe is a Unix stream socket (see runtimedir.h for where it lives). Every call is
// bounded: a connect to a service whose backlog is full waits at most kConnectBudgetMs, a
// write at most kWriteBudgetMs, a read at most what its caller allows.

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectBudgetMs = 600;
constexpr int kWriteBudgetMs = 1000;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

Clock::time_point deadlineIn(unsigned ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

// poll() for one descriptor, resuming after signals until the deadline. Returns the revents,
// 0 on time-out, -1 with errno on failure.
int pollUntil(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int rc = ::poll(&entry, 1, remainingMs(deadline));
        if (rc > 0)
            return entry.revents;
        if (rc == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

// Whether a socket listens at the file `st` describes. The kernel's socket diagnostics list
// every listening Unix socket with the inode of the file it was bound to (renamed or not); the
// file a dead service left behind has no listener. When the list cannot be had in full, the
// file counts as served, as before.
bool hasListener(const struct stat &st)
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return true;
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.request.sdiag_family = AF_UNIX;
    query.request.udiag_states = 1u << TCP_LISTEN;
    query.request.udiag_show = UDIAG_SHOW_VFS;
    if (::send(fd, &query, sizeof query, 0) != static_cast<ssize_t>(sizeof query)) {
        ::close(fd);
        return true;
    }
    const timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    bool found = false;
    bool complete = false;
    // Larger than any one part of a dump, so no part is cut short.
    std::vector<char> buffer(1 << 16);
    while (!found && !complete) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got <= 0)
            break;
        auto length = static_cast<unsigned>(got);
        for (auto *message = reinterpret_cast<nlmsghdr *>(buffer.data()); NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            // An error (no diagnostics for Unix sockets in this kernel, say) leaves it open.
            if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
                complete = message->nlmsg_type == NLMSG_DONE;
                found = found || !complete;
                break;
            }
            const auto *entry = reinterpret_cast<const unix_diag_msg *>(
                reinterpret_cast<const char *>(message) + NLMSG_HDRLEN);
            int left = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof *entry));
            for (auto *attribute = reinterpret_cast<const rtattr *>(entry + 1); RTA_OK(attribute, left);
                 attribute = RTA_NEXT(attribute, left)) {
                if (attribute->rta_type != UNIX_DIAG_VFS)
                    continue;
                const auto *vfs = static_cast<const unix_diag_vfs *>(RTA_DATA(attribute));
                // The kernel's own device number: major above bit 20, minor below.
                found = found ||
                        (vfs->udiag_vfs_ino == st.st_ino && vfs->udiag_vfs_dev >> 20 == major(st.st_dev) &&
                         (vfs->udiag_vfs_dev & 0xFFFFF) == minor(st.st_dev));
            }
        }
    }
    ::close(fd);
    return found || !complete;
}

bool socketAddress(const std::string &pipePath, sockaddr_un &address, ErrorCode &error)
{
    const posix::PathResult path = posix::pipeSocketPath(pipePath);
    if (!path.ok()) {
        error = path.error;
        return false;
    }
    if (path.path.size() >= sizeof address.sun_path) {
        error = ENAMETOOLONG;
        return false;
    }
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.path.c_str(), path.path.size() + 1);
    return true;
}

} // namespace

bool waitForPipe(const std::string &pipePath, unsigned timeoutMs, ErrorCode &error)
{
    // A listening socket cannot be asked whether its backlog has room without connecting, so
    // an existing socket counts as available and the connect itself carries the bounded wait.
    static_cast<void>(timeoutMs);
    error = 0;
    const posix::PathResult path = posix::pipeSocketPath(pipePath);
    if (!path.ok()) {
        error = path.error;
        return false;
    }
    struct stat st {};
    if (::lstat(path.path.c_str(), &st) != 0) {
        error = static_cast<ErrorCode>(errno);
        return false;
    }
    // Something else at the pipe's place, or a socket nobody serves: no pipe of that name.
    if (!S_ISSOCK(st.st_mode) || !hasListener(st)) {
        error = ENOENT;
        return false;
    }
    return true;
}

PipeConnection PipeConnection::open(const std::string &pipePath)
{
    PipeConnection connection;
    sockaddr_un address{};
    if (!socketAddress(pipePath, address, connection.m_error))
        return connection;

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        connection.m_error = static_cast<ErrorCode>(errno);
        return connection;
    }
    // A blocking connect to a Unix socket whose backlog is full sleeps until there is room or
    // the send time-out passes, then fails with EAGAIN; the time-out is the connect budget.
    const auto deadline = deadlineIn(kConnectBudgetMs);
    int rc;
    for (;;) {
        const int left = remainingMs(deadline);
        timeval timeout{left / 1000, suseconds_t{left % 1000} * 1000};
        if (left == 0)
            timeout.tv_usec = 1000; // zero would mean "wait forever"
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        if (rc == 0 || errno != EINTR || remainingMs(deadline) == 0)
            break;
    }
    if (rc != 0) {
        // Nobody listens on a socket a dead service left behind: as good as no pipe.
        connection.m_error = static_cast<ErrorCode>(errno == EINTR          ? EAGAIN
                                                    : errno == ECONNREFUSED ? ENOENT
                                                                            : errno);
        ::close(fd);
        return connection;
    }
    // From here on every wait is done with poll.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    connection.m_fd = fd;
    return connection;
}

PipeConnection::PipeConnection(PipeConnection &&other) noexcept
    : m_error(other.m_error), m_fd(std::exchange(other.m_fd, -1))
{
}

PipeConnection &PipeConnection::operator=(PipeConnection &&other) noexcept
{
    if (this != &other) {
        close();
        m_error = other.m_error;
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

PipeConnection::~PipeConnection()
{
    close();
}

bool PipeConnection::valid() const
{
    return m_fd >= 0;
}

bool PipeConnection::write(const char *data, std::size_t size, ErrorCode &error)
{
    error = 0;
    if (m_fd < 0) {
        error = EBADF;
        return false;
    }
    const auto deadline = deadlineIn(kWriteBudgetMs);
    std::size_t done = 0;
    while (done < size) {
        // MSG_NOSIGNAL: a service that went away must not kill us with SIGPIPE.
        const ssize_t sent = ::send(m_fd, data + done, size - done, MSG_NOSIGNAL);
        if (sent >= 0) {
            done += static_cast<std::size_t>(sent);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = static_cast<ErrorCode>(errno);
            return false;
        }
        const int ready = pollUntil(m_fd, POLLOUT, deadline);
        if (ready < 0) {
            error = static_cast<ErrorCode>(errno);
            return false;
        }
        if (ready == 0) {
            error = ETIMEDOUT;
            return false;
        }
    }
    return true;
}

PipeConnection::ReadResult PipeConnection::read(char *buffer, std::size_t maxBytes, unsigned timeoutMs)
{
    ReadResult result;
    if (m_fd < 0) {
        result.error = EBADF;
        return result;
    }
    const unsigned bounded = timeoutMs > static_cast<unsigned>(INT_MAX) ? INT_MAX : timeoutMs;
    const int ready = pollUntil(m_fd, POLLIN, deadlineIn(bounded));
    if (ready < 0) {
        result.error = static_cast<ErrorCode>(errno);
        return result;
    }
    if (ready == 0) {
        result.timedOut = true;
        result.error = ETIMEDOUT;
        return result;
    }
    ssize_t got;
    do {
        got = ::recv(m_fd, buffer, maxBytes, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        result.error = static_cast<ErrorCode>(errno);
        return result;
    }
    result.ok = true;
    result.bytes = static_cast<std::size_t>(got);
    return result;
}

void PipeConnection::close()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}

std::string localServerNameForPipe(const std::string &pipePath)
{
    const posix::PathResult path = posix::pipeSocketPath(pipePath);
    return path.ok() ? path.path : std::string();
}

} // namespace platform
