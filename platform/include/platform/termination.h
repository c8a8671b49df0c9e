#pragma once

namespace platform {

// A file descriptor that becomes readable once the process is asked to terminate (SIGTERM,
// SIGINT or SIGHUP on Linux), so an event loop can end cleanly. Installs the handlers on the
// first call. Returns -1 where the system has no such request (Windows GUI programs end
// through their own windows).
int terminationRequestFd();

} // namespace platform
