#include "platform/servicecommands.h"

#include <sstream>

// "systemctl show" prints "Id=<unit>" and "SubState=running" lines for a running unit; the
// judgement asks for the service name anywhere in the text and that exact line, so an unknown
// unit ("SubState=dead") or a failed query (empty output) counts as not running.

namespace platform {

Command serviceQueryCommand(const std::string &serviceName)
{
    return {"systemctl", {"show", "--property=Id,ActiveState,SubState", "--", serviceName}};
}

Command serviceStartCommand(const std::string &serviceName)
{
    // No password prompt: a start that would ask for one fails instead of hanging the caller.
    return {"systemctl", {"start", "--no-ask-password", "--", serviceName}};
}

bool serviceQueryOutputMeansRunning(const std::string &output, const std::string &serviceName)
{
    if (serviceName.empty() || output.find(serviceName) == std::string::npos)
        return false;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "SubState=running")
            return true;
    }
    return false;
}

} // namespace platform
