#include "platform/ids.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

unsigned long currentProcessId()
{
    return static_cast<unsigned long>(::getpid());
}

unsigned long currentThreadId()
{
    // The system call rather than gettid(): older C libraries lack the wrapper.
    return static_cast<unsigned long>(::syscall(SYS_gettid));
}

} // namespace platform
