#include "platform/localserver.h"

#include "runtimedir.h"

namespace platform {

std::string localServerName(const std::string &objectName, ErrorCode &error)
{
    const posix::PathResult path = posix::objectPath(objectName);
    error = path.error;
    return path.path;
}

} // namespace platform
