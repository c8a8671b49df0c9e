#include "runtimedir.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {

namespace {

const std::string kLocalPrefix = "Local\\";
const std::string kPipePrefix = "\\\\.\\pipe\\";

bool isPlainByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

} // namespace

std::string percentEncode(const std::string &name)
{
    static const char hex[] = "0123456789ABCDEF";
    const bool onlyDots = name.find_first_not_of('.') == std::string::npos;
    std::string out;
    out.reserve(name.size());
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (isPlainByte(c) && !onlyDots) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

namespace {

std::uint64_t fnv1a64(const std::string &text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char ch : text) {
        hash ^= static_cast<unsigned char>(ch);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool startsWithIgnoringCase(const std::string &text, const std::string &prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        auto a = static_cast<unsigned char>(text[i]);
        auto b = static_cast<unsigned char>(prefix[i]);
        if (a >= 'A' && a <= 'Z')
            a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

PathResult fileIn(const PathResult &directory, const std::string &name)
{
    if (!directory.ok())
        return directory;
    if (name.empty())
        return {{}, EINVAL};
    const std::string file = encodeObjectName(name, directory.path);
    if (file.empty())
        return {{}, ENAMETOOLONG};
    return {directory.path + "/" + file, 0};
}

} // namespace

ErrorCode checkPrivateDirectory(const std::string &path, bool rootMayOwn)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return static_cast<ErrorCode>(errno);
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (st.st_uid != ::geteuid() && !(rootMayOwn && st.st_uid == 0))
        return EPERM;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return EACCES;
    return 0;
}

namespace {

// A home directory counts only when it is ours (or root's, for system users) and nobody else
// can write to it, so nobody else can put our runtime folder in place before us.
bool isOwnHome(const char *home)
{
    return home != nullptr && home[0] == '/' && checkPrivateDirectory(home, true) == 0;
}

// $HOME when it is the user's own, else the home directory the user database names.
std::string ownHome()
{
    const char *home = std::getenv("HOME");
    if (isOwnHome(home))
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        isOwnHome(found->pw_dir))
        return found->pw_dir;
    return {};
}

} // namespace

std::string runtimeDirectoryPath()
{
    const char *base = std::getenv("XDG_RUNTIME_DIR");
    if (base != nullptr && base[0] == '/')
        return std::string(base) + "/" + kRuntimeFolderName;
    // Not in a shared folder such as /tmp, where another user could take the name first. One
    // folder per machine, since a home may be shared by several.
    const std::string home = ownHome();
    if (home.empty())
        return {};
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    return home + "/." + kRuntimeFolderName + "-" + percentEncode(host);
}

PathResult runtimeDirectory()
{
    const std::string path = runtimeDirectoryPath();
    if (path.empty())
        return {{}, ENOENT};
    // mkdir never follows a planted symbolic link; the check below refuses one.
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return {{}, static_cast<ErrorCode>(errno)};
    if (const ErrorCode error = checkPrivateDirectory(path, false))
        return {{}, error};
    return {path, 0};
}

PathResult pipeDirectory(const char *machineDirectory)
{
    std::string chosen;
    const char *override = std::getenv(kPipeDirectoryVariable);
    struct stat st {};
    if (override != nullptr && override[0] != '\0')
        chosen = override;
    else if (machineDirectory != nullptr && ::lstat(machineDirectory, &st) == 0)
        chosen = machineDirectory;
    else
        return runtimeDirectory();

    if (const ErrorCode error = checkPrivateDirectory(chosen, true))
        return {{}, error};
    return {chosen, 0};
}

std::string encodeObjectName(const std::string &name, const std::string &directory)
{
    std::string encoded = percentEncode(name);
    const std::size_t room =
        directory.size() + 1 < kMaxSocketPath ? kMaxSocketPath - directory.size() - 1 : 0;
    const std::size_t limit = room < 255 ? room : 255; // NAME_MAX
    if (encoded.size() <= limit)
        return encoded;

    char suffix[18];
    std::snprintf(suffix, sizeof suffix, "~%016llx", static_cast<unsigned long long>(fnv1a64(name)));
    const std::size_t suffixSize = sizeof suffix - 1;
    if (limit < suffixSize + 1)
        return {};
    std::size_t keep = limit - suffixSize;
    // Do not cut an escape in half: "%4" or "%" at the end would read as a different name.
    for (std::size_t back = 1; back <= 2 && back <= keep; ++back) {
        if (encoded[keep - back] == '%') {
            keep -= back;
            break;
        }
    }
    return encoded.substr(0, keep) + suffix;
}

PathResult objectPath(const std::string &objectName)
{
    std::string name = objectName;
    if (startsWithIgnoringCase(name, kLocalPrefix))
        name.erase(0, kLocalPrefix.size());
    return fileIn(runtimeDirectory(), name);
}

PathResult pipeSocketPath(const std::string &pipePath)
{
    std::string name = pipePath;
    if (startsWithIgnoringCase(name, kPipePrefix))
        name.erase(0, kPipePrefix.size());
    return fileIn(pipeDirectory(), name);
}

} // namespace platform::posix
