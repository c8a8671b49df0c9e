#include "closerequest.h"

#include "platform/termination.h"

#include <utility>

CloseRequestFilter::CloseRequestFilter(std::function<void()> onRequest) : m_onRequest(std::move(onRequest))
{
}

bool CloseRequestFilter::nativeEventFilter(const QByteArray &, void *message, qintptr *)
{
    // Only the thread's own messages: the stand-in has no window of its own.
    if (!platform::isCloseRequest(message, 0))
        return false;
    m_onRequest();
    return true;
}
