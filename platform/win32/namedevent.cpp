#include "platform/namedevent.h"

#include "eventsecurity.h"
#include "widestring.h"

#include <windows.h>

#include <utility>

namespace platform {

NamedEvent NamedEvent::create(const std::string &name, Security security)
{
    NamedEvent event;
    const std::wstring wideName = win32::toWide(name);
    HANDLE handle = nullptr;
    if (security == Security::AnyLocalUserMaySet) {
        win32::EventSecurity descriptor(win32::kAnyLocalUserMaySetSddl);
        handle = CreateEventW(descriptor.attributes(), TRUE, FALSE, wideName.c_str());
    } else {
        handle = CreateEventW(nullptr, TRUE, FALSE, wideName.c_str());
    }
    if (!handle) {
        event.m_error = GetLastError();
        return event;
    }
    event.m_handle = handle;
    return event;
}

NamedEvent NamedEvent::open(const std::string &name, Access access)
{
    NamedEvent event;
    const std::wstring wideName = win32::toWide(name);
    const DWORD rights = access == Access::Modify ? SYNCHRONIZE | EVENT_MODIFY_STATE : SYNCHRONIZE;
    HANDLE handle = OpenEventW(rights, FALSE, wideName.c_str());
    if (!handle) {
        event.m_error = GetLastError();
        return event;
    }
    event.m_handle = handle;
    return event;
}

NamedEvent::NamedEvent(NamedEvent &&other) noexcept
    : m_error(other.m_error), m_handle(std::exchange(other.m_handle, nullptr))
{
}

NamedEvent &NamedEvent::operator=(NamedEvent &&other) noexcept
{
    if (this != &other) {
        close();
        m_error = other.m_error;
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

NamedEvent::~NamedEvent()
{
    close();
}

bool NamedEvent::valid() const
{
    return m_handle != nullptr;
}

// The kernel checks the handle's rights: a SYNCHRONIZE-only handle fails with 5, a closed one
// with 6.
bool NamedEvent::set(ErrorCode *error)
{
    if (SetEvent(m_handle))
        return true;
    if (error)
        *error = GetLastError();
    return false;
}

bool NamedEvent::reset(ErrorCode *error)
{
    if (ResetEvent(m_handle))
        return true;
    if (error)
        *error = GetLastError();
    return false;
}

NamedEvent::WaitResult NamedEvent::poll() const
{
    if (!m_handle)
        return WaitResult::Failed;
    switch (WaitForSingleObject(m_handle, 0)) {
    case WAIT_OBJECT_0:
        return WaitResult::Signalled;
    case WAIT_TIMEOUT:
        return WaitResult::NotSignalled;
    default:
        return WaitResult::Failed;
    }
}

void NamedEvent::close()
{
    if (m_handle)
        CloseHandle(m_handle);
    m_handle = nullptr;
}

} // namespace platform
