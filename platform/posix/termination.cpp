#include "platform/termination.h"

#include <cerrno>
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

// Self-pipe: the handler only writes one byte, which is async-signal-safe; the event loop
// watches the read end. Both ends are non-blocking so a flood of signals can never block the
// handler once the pipe is full (one byte already says enough).

namespace platform {

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

void install()
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

int terminationRequestFd()
{
    static std::once_flag once;
    std::call_once(once, install);
    return g_pipe[0];
}

bool isCloseRequest(const void *, std::uintptr_t)
{
    return false;
}

} // namespace platform
