#include "platform/paths.h"

#include <sys/stat.h>

namespace platform {

namespace {

// The folder part of `path`, or empty when its last part is no name of an entry.
std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return {};
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool folderIdentity(const std::string &folder, struct stat &st)
{
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool liesInFolder(const std::string &filePath, const std::string &folder)
{
    struct stat parent {};
    struct stat wanted {};
    return folderIdentity(folderOf(filePath), parent) && folderIdentity(folder, wanted) &&
           parent.st_dev == wanted.st_dev && parent.st_ino == wanted.st_ino;
}

} // namespace platform
