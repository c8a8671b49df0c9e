#pragma once

#include <cstdint>

namespace platform {

// A file descriptor that becomes readable once the process is asked to terminate (SIGTERM,
// SIGINT or SIGHUP on Linux), so an event loop can end cleanly. Installs the handlers on the
// first call. Returns -1 where the system has no such request (Windows asks through messages,
// below).
int terminationRequestFd();

// Whether `nativeMessage`, a message the GUI thread's event loop took from the system, asks the
// program to end: on Windows WM_CLOSE posted to the thread or sent to the hidden window
// `watchWindow`, which is what taskkill without /F, installers and QProcess::terminate send.
// Never on Linux, where the request is a signal (above).
bool isCloseRequest(const void *nativeMessage, std::uintptr_t watchWindow);

} // namespace platform
