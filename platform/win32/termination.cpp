#include "platform/termination.h"

#include <windows.h>

namespace platform {

// Windows asks a program to end through messages; there is no signal to turn into a readable
// descriptor.
int terminationRequestFd()
{
    return -1;
}

bool isCloseRequest(const void *nativeMessage, std::uintptr_t watchWindow)
{
    const auto *message = static_cast<const MSG *>(nativeMessage);
    // A close of any other window (a dialog's close button) is that window's business.
    return message && message->message == WM_CLOSE &&
           (!message->hwnd || reinterpret_cast<std::uintptr_t>(message->hwnd) == watchWindow);
}

} // namespace platform
