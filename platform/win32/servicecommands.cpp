#include "platform/servicecommands.h"

namespace platform {

Command serviceQueryCommand(const std::string &serviceName)
{
    return {"sc", {"query", serviceName}};
}

Command serviceStartCommand(const std::string &serviceName)
{
    return {"net", {"start", serviceName}};
}

bool serviceQueryOutputMeansRunning(const std::string &output, const std::string &serviceName)
{
    return output.find(serviceName) != std::string::npos && output.find("RUNNING") != std::string::npos;
}

} // namespace platform
