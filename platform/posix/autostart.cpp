#include "platform/autostart.h"

#include "runtimedir.h"

#include <cerrno>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The autostart entry is $XDG_CONFIG_HOME/autostart/<name>.desktop (XDG_CONFIG_HOME defaults
// to ~/.config), the name encoded like an object name so it cannot leave that directory.
// A missing autostart directory holds no entry, which is the same as a missing value: absent.

namespace platform {

namespace {

std::string configHome()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return config;
    const char *home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd *user = ::getpwuid(::geteuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return home != nullptr ? std::string(home) + "/.config" : std::string();
}

} // namespace

AutostartRemoval removeAutostartEntry(const std::string &valueName)
{
    using Outcome = AutostartRemoval::Outcome;
    const std::string base = configHome();
    if (base.empty())
        return {Outcome::OpenFailed, ENOENT};
    const std::string directory = base + "/autostart";
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return {Outcome::OpenFailed, static_cast<ErrorCode>(errno)};
        return {Outcome::Absent, 0};
    }
    if (!S_ISDIR(st.st_mode))
        return {Outcome::OpenFailed, ENOTDIR};
    if (::access(directory.c_str(), W_OK | X_OK) != 0)
        return {Outcome::OpenFailed, static_cast<ErrorCode>(errno)};
    const std::string file = directory + "/" + posix::percentEncode(valueName) + ".desktop";
    if (::unlink(file.c_str()) == 0)
        return {Outcome::Removed, 0};
    if (errno == ENOENT)
        return {Outcome::Absent, 0};
    return {Outcome::DeleteFailed, static_cast<ErrorCode>(errno)};
}

} // namespace platform
