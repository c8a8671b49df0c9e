#include "processname.h"

namespace platform::posix {

namespace {

constexpr std::size_t kCommLimit = 15; // TASK_COMM_LEN minus the NUL

std::string fileNameOf(const std::string &path)
{
    return path.substr(path.find_last_of('/') + 1);
}

} // namespace

std::string processNameFrom(const std::string &exeTarget, const std::string &comm, const std::string &argv0)
{
    if (!exeTarget.empty()) {
        std::string path = exeTarget;
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() &&
            path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.erase(path.size() - deleted.size());
        return fileNameOf(path);
    }
    if (comm.size() == kCommLimit) {
        std::string candidate = fileNameOf(argv0);
        if (candidate.size() > comm.size() && candidate.compare(0, comm.size(), comm) == 0)
            return candidate;
    }
    return comm;
}

} // namespace platform::posix
