#include "platform/namedmutex.h"

#include "runtimedir.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// A lock file per name in the per-user runtime directory. The exclusive flock is the
// ownership; the kernel drops it when the owner closes the file or dies. The file itself is
// never removed: removing a lock file while another process opens it would let two owners in.
// A second holder gets State::AlreadyExists with error() == EEXIST.

namespace platform {

namespace {

// Whether another open file description holds the name through a lock file that has been
// deleted since (alone, or with its directory): the kernel still lists its lock in
// /proc/locks, and the holder's descriptor reads as the old path marked " (deleted)".
bool heldThroughDeletedFile(const std::string &path, int ownFd)
{
    struct stat own {};
    if (::fstat(ownFd, &own) != 0)
        return false;
    const std::string deleted = path + " (deleted)";
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:02:5678 0 EOF"; waiters are marked "->".
        std::istringstream fields(line);
        std::string slot, kind, mode, access, pid, file;
        fields >> slot >> kind >> mode >> access >> pid >> file;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (kind != "FLOCK" || access != "WRITE" ||
            std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        const auto sameFile = [&](const struct stat &st) {
            return st.st_ino == inode && major == ::major(st.st_dev) && minor == ::minor(st.st_dev);
        };
        if (sameFile(own))
            continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR *fds = ::opendir(fdDir.c_str());
        if (fds == nullptr)
            continue; // gone, or not ours to look at
        bool found = false;
        while (const dirent *entry = ::readdir(fds)) {
            const std::string link = fdDir + "/" + entry->d_name;
            struct stat st {};
            char target[PATH_MAX];
            if (entry->d_name[0] == '.' || ::stat(link.c_str(), &st) != 0 || !sameFile(st))
                continue;
            const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
            found = length > 0 &&
                    deleted.compare(0, std::string::npos, target, static_cast<std::size_t>(length)) == 0;
            if (found)
                break;
        }
        ::closedir(fds);
        if (found)
            return true;
    }
    return false;
}

} // namespace

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
    if (rc == 0 && !heldThroughDeletedFile(path.path, fd)) {
        mutex.m_state = State::Owned;
    } else if (rc == 0 || errno == EWOULDBLOCK) {
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

std::string namedObjectFailureText(ErrorCode error)
{
    const std::string directory = posix::runtimeDirectoryPath();
    const std::string reason = errorText(error);
    if (directory.empty())
        return reason +
               " (no runtime directory: XDG_RUNTIME_DIR is not set and the home directory is missing, "
               "not this user's, or writable by others)";
    return reason + " (" + directory + " must be a directory of this user that nobody else can write to)";
}

} // namespace platform
