#include "platform/autostart.h"

#include "runtimedir.h"

#include <cerrno>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The autostart entry is $XDG_CONFIG_HOME/autostart/<name>.desktop (XDG_CONFIG_HOME defaults
// to ~/.config), the name encoded like an object name so it cannot leave that directory.
// A missing autostart directory holds no entry, which is the same as a missing value: opened,
// delete result ENOENT.

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
    AutostartRemoval result;
    const std::string base = configHome();
    if (base.empty()) {
        result.openError = ENOENT;
        return result;
    }
    const std::string directory = base + "/autostart";
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            result.openError = static_cast<ErrorCode>(errno);
            return result;
        }
        result.keyOpened = true;
        result.deleteResult = ENOENT;
        return result;
    }
    if (!S_ISDIR(st.st_mode)) {
        result.openError = ENOTDIR;
        return result;
    }
    if (::access(directory.c_str(), W_OK | X_OK) != 0) {
        result.openError = static_cast<ErrorCode>(errno);
        return result;
    }
    result.keyOpened = true;
    const std::string file = directory + "/" + posix::percentEncode(valueName) + ".desktop";
    result.deleteResult = ::unlink(file.c_str()) == 0 ? 0 : static_cast<ErrorCode>(errno);
    return result;
}

} // namespace platform
