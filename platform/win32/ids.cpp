#include "platform/ids.h"

#include <windows.h>

namespace platform {

unsigned long currentProcessId()
{
    return GetCurrentProcessId();
}

unsigned long currentThreadId()
{
    return GetCurrentThreadId();
}

} // namespace platform
