#pragma once

#include <string>
#include <vector>

namespace platform {

struct Command {
    std::string program;
    std::vector<std::string> arguments;
};

// The stock commands that ask and start a system service: "sc query NAME" and
// "net start NAME" on Windows, "systemctl show ..." and "systemctl start NAME" on Linux.
Command serviceQueryCommand(const std::string &serviceName);
Command serviceStartCommand(const std::string &serviceName);

// Judges the query command's standard output: on Windows the text contains the service name
// and "RUNNING" (both case-sensitive substrings); on Linux the same judgement on
// systemctl's output.
bool serviceQueryOutputMeansRunning(const std::string &output, const std::string &serviceName);

} // namespace platform
