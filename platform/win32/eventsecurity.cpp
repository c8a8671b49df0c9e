#include "eventsecurity.h"

#include <sddl.h>

namespace platform::win32 {

EventSecurity::EventSecurity(const wchar_t *sddl)
{
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &m_descriptor,
                                                              nullptr)) {
        m_descriptor = nullptr;
        return;
    }
    m_attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}

EventSecurity::~EventSecurity()
{
    if (m_descriptor)
        LocalFree(m_descriptor);
}

} // namespace platform::win32
