#pragma once

#include <string>

namespace platform::posix {

// The executable file name of a process from what /proc tells about it:
//  - `exeTarget`: the target of /proc/PID/exe (empty when unreadable, as for kernel threads
//    and, without privileges, other users' processes); its file name wins, without the
//    kernel's " (deleted)" mark;
//  - otherwise `comm`, which the kernel cuts to 15 bytes; when it is cut, the file name of
//    `argv0` (first word of /proc/PID/cmdline) replaces it if it starts with the cut name.
std::string processNameFrom(const std::string &exeTarget, const std::string &comm, const std::string &argv0);

} // namespace platform::posix
