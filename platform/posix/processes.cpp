#include "platform/processes.h"

#include "processname.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <fstream>
#include <sstream>
#include <utility>

#include <dirent.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::size_t kLongestPath = 65536;

std::string readFirstLine(const std::string &path, char delimiter)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line, delimiter);
    return line;
}

std::string executableName(const std::string &procDir)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink((procDir + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0)
        return posix::processNameFrom(std::string(target, static_cast<std::size_t>(length)), {}, {});
    return posix::processNameFrom({}, readFirstLine(procDir + "/comm", '\n'),
                                  readFirstLine(procDir + "/cmdline", '\0'));
}

bool parsePid(const char *text, unsigned long &pid)
{
    if (*text == '\0')
        return false;
    unsigned long value = 0;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > static_cast<unsigned long>(INT_MAX))
            return false;
    }
    pid = value;
    return true;
}

} // namespace

bool snapshotProcesses(std::vector<ProcessEntry> &out, ErrorCode &error)
{
    out.clear();
    error = 0;
    DIR *proc = ::opendir("/proc");
    if (proc == nullptr) {
        error = static_cast<ErrorCode>(errno);
        return false;
    }
    while (const dirent *entry = ::readdir(proc)) {
        unsigned long pid = 0;
        if (!parsePid(entry->d_name, pid))
            continue;
        const std::string procDir = std::string("/proc/") + entry->d_name;
        std::string name = executableName(procDir);
        struct stat st {};
        if (name.empty() || ::stat(procDir.c_str(), &st) != 0)
            continue; // ended while we looked
        // /proc/PID belongs to the process's effective user.
        out.push_back({pid, std::move(name), st.st_uid == ::geteuid()});
    }
    ::closedir(proc);
    std::sort(out.begin(), out.end(),
              [](const ProcessEntry &a, const ProcessEntry &b) { return a.pid < b.pid; });
    return true;
}

std::uint64_t processStartTime(unsigned long pid)
{
    // Field 22 of /proc/PID/stat; the name in field 2 may hold blanks and parentheses, so the
    // count starts after its last ")".
    const std::string stat = readFirstLine("/proc/" + std::to_string(pid) + "/stat", '\n');
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    for (int index = 3; index < 22 && (fields >> field); ++index) {
    }
    std::uint64_t start = 0;
    fields >> start;
    return fields ? start : 0;
}

bool processExecutablePath(unsigned long pid, std::string &path, ErrorCode &error)
{
    path.clear();
    if (pid == 0 || pid > static_cast<unsigned long>(INT_MAX)) {
        error = ESRCH;
        return false;
    }
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    std::string target(PATH_MAX, '\0');
    for (;;) {
        const ssize_t length = ::readlink(link.c_str(), &target[0], target.size());
        if (length < 0) {
            error = static_cast<ErrorCode>(errno);
            return false;
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            break;
        }
        // Cut short: the link gives no length of its own, so ask again with more room.
        if (target.size() >= kLongestPath) {
            error = ENAMETOOLONG;
            return false;
        }
        target.resize(target.size() * 2);
    }
    // A file deleted since the process started keeps its last path, with the kernel's mark.
    const std::string deleted = " (deleted)";
    struct stat st {};
    if (target.size() > deleted.size() &&
        target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0 &&
        ::stat(link.c_str(), &st) == 0 && st.st_nlink == 0)
        target.erase(target.size() - deleted.size());
    path = std::move(target);
    error = 0;
    return true;
}

ProcessHandle ProcessHandle::open(unsigned long pid, Access access)
{
    ProcessHandle handle;
    handle.m_access = access;
    handle.m_pid = pid;
    if (pid == 0 || pid > static_cast<unsigned long>(INT_MAX)) {
        handle.m_error = pid == 0 ? EINVAL : ESRCH;
        return handle;
    }
    const long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u);
    if (fd < 0) {
        handle.m_error = static_cast<ErrorCode>(errno);
        return handle;
    }
    handle.m_fd = static_cast<int>(fd); // pidfds are close-on-exec
    return handle;
}

ProcessHandle::ProcessHandle(ProcessHandle &&other) noexcept
    : m_error(other.m_error), m_fd(std::exchange(other.m_fd, -1)), m_pid(other.m_pid),
      m_access(other.m_access)
{
}

ProcessHandle &ProcessHandle::operator=(ProcessHandle &&other) noexcept
{
    if (this != &other) {
        close();
        m_error = other.m_error;
        m_fd = std::exchange(other.m_fd, -1);
        m_pid = other.m_pid;
        m_access = other.m_access;
    }
    return *this;
}

ProcessHandle::~ProcessHandle()
{
    close();
}

bool ProcessHandle::valid() const
{
    return m_fd >= 0;
}

unsigned long ProcessHandle::wait(unsigned timeoutMs, ErrorCode *error) const
{
    if (m_fd < 0) {
        if (error)
            *error = EBADF;
        return kWaitFailed;
    }
    // A pidfd turns readable when its process has ended (a zombie included).
    const bool forever = timeoutMs == 0xFFFFFFFFu; // INFINITE
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left = -1;
        if (!forever) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now())
                                .count();
            left = ms <= 0 ? 0 : (ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
        }
        pollfd entry{m_fd, POLLIN, 0};
        const int rc = ::poll(&entry, 1, left);
        if (rc > 0)
            return kWaitObject0;
        if (rc == 0) {
            if (left == INT_MAX)
                continue;
            return kWaitTimeout;
        }
        if (errno != EINTR) {
            if (error)
                *error = static_cast<ErrorCode>(errno);
            return kWaitFailed;
        }
    }
}

bool ProcessHandle::terminate(unsigned exitCode, ErrorCode *error)
{
    // A killed process has no exit code of its choosing on Linux; it ends by SIGKILL.
    static_cast<void>(exitCode);
    if (m_fd < 0 || m_access != Access::Terminate) {
        if (error)
            *error = m_fd < 0 ? EBADF : EACCES;
        return false;
    }
    if (::syscall(SYS_pidfd_send_signal, m_fd, SIGKILL, nullptr, 0u) != 0) {
        if (error)
            *error = static_cast<ErrorCode>(errno);
        return false;
    }
    return true;
}

std::uint64_t ProcessHandle::startTime() const
{
    if (m_fd < 0)
        return 0;
    const std::uint64_t start = processStartTime(m_pid);
    // The pidfd refers to the process the id had when it was opened. While that process has
    // not ended, the id is still its own, so the time read by id is its time.
    pollfd entry{m_fd, POLLIN, 0};
    if (::poll(&entry, 1, 0) != 0)
        return 0;
    return start;
}

void ProcessHandle::close()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}

} // namespace platform
