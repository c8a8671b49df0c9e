#include "platform/namedmutex.h"

#include "widestring.h"

#include <windows.h>

#include <utility>

namespace platform {

SingleInstanceMutex SingleInstanceMutex::create(const std::string &name)
{
    SingleInstanceMutex mutex;
    const std::wstring wideName = win32::toWide(name);
    HANDLE handle = CreateMutexW(nullptr, TRUE, wideName.c_str());
    // Read at once: ERROR_ALREADY_EXISTS is the only sign of another holder.
    const DWORD error = GetLastError();
    if (!handle) {
        mutex.m_state = State::Failed;
        mutex.m_error = error;
        return mutex;
    }
    mutex.m_handle = handle;
    if (error == ERROR_ALREADY_EXISTS) {
        mutex.m_state = State::AlreadyExists;
        mutex.m_error = error;
    } else {
        mutex.m_state = State::Owned;
        mutex.m_error = 0;
    }
    return mutex;
}

SingleInstanceMutex::SingleInstanceMutex(SingleInstanceMutex &&other) noexcept
    : m_state(other.m_state), m_error(other.m_error), m_handle(std::exchange(other.m_handle, nullptr))
{
    other.m_state = State::Failed;
}

SingleInstanceMutex &SingleInstanceMutex::operator=(SingleInstanceMutex &&other) noexcept
{
    if (this != &other) {
        release();
        m_state = std::exchange(other.m_state, State::Failed);
        m_error = other.m_error;
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

SingleInstanceMutex::~SingleInstanceMutex()
{
    release();
}

void SingleInstanceMutex::release()
{
    if (!m_handle)
        return;
    // Only the owner releases; a handle to someone else's mutex is just closed.
    if (m_state == State::Owned)
        ReleaseMutex(m_handle);
    CloseHandle(m_handle);
    m_handle = nullptr;
}

std::string namedObjectFailureText(ErrorCode error)
{
    return errorText(error);
}

} // namespace platform
