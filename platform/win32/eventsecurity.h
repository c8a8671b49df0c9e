#pragma once

#include <windows.h>

namespace platform::win32 {

// Security attributes built from an SDDL text, for the lifetime of one create call.
// attributes() is nullptr when the text could not be converted, so the caller falls back to
// default security.
class EventSecurity {
public:
    explicit EventSecurity(const wchar_t *sddl);
    ~EventSecurity(); // LocalFree of the descriptor
    EventSecurity(const EventSecurity &) = delete;
    EventSecurity &operator=(const EventSecurity &) = delete;

    SECURITY_ATTRIBUTES *attributes() { return m_descriptor ? &m_attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
};

// Lets any local user wait on, query, set and reset the event.
constexpr const wchar_t *kAnyLocalUserMaySetSddl = L"D:(A;;0x00100003;;;BU)";

} // namespace platform::win32
