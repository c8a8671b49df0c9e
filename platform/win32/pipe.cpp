#include "platform/pipe.h"

#include "widestring.h"

#include <windows.h>

#include <algorithm>
#include <utility>

namespace platform {

namespace {

// A service that never reads must not hold the writer; the read has its own caller's bound.
constexpr DWORD kWriteTimeoutMs = 1000;

// An OVERLAPPED record with its own manual-reset completion event.
class Overlapped {
public:
    Overlapped() { m_overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped()
    {
        if (m_overlapped.hEvent)
            CloseHandle(m_overlapped.hEvent);
    }
    Overlapped(const Overlapped &) = delete;
    Overlapped &operator=(const Overlapped &) = delete;

    bool valid() const { return m_overlapped.hEvent != nullptr; }
    OVERLAPPED *get() { return &m_overlapped; }
    HANDLE event() const { return m_overlapped.hEvent; }

private:
    OVERLAPPED m_overlapped{};
};

} // namespace

bool waitForPipe(const std::string &pipePath, unsigned timeoutMs, ErrorCode &error)
{
    const std::wstring path = win32::toWide(pipePath);
    if (WaitNamedPipeW(path.c_str(), timeoutMs)) {
        error = 0;
        return true;
    }
    error = GetLastError();
    return false;
}

PipeConnection PipeConnection::open(const std::string &pipePath)
{
    PipeConnection connection;
    const std::wstring path = win32::toWide(pipePath);
    // Overlapped, so that a write and a read can be given up after a time-out. Identification
    // only: whoever serves the name (a squatter while the service is down, say) may learn who
    // we are but cannot act as us.
    HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        connection.m_error = GetLastError();
        return connection;
    }
    connection.m_handle = handle;
    return connection;
}

PipeConnection::PipeConnection(PipeConnection &&other) noexcept
    : m_error(other.m_error), m_handle(std::exchange(other.m_handle, nullptr))
{
}

PipeConnection &PipeConnection::operator=(PipeConnection &&other) noexcept
{
    if (this != &other) {
        close();
        m_error = other.m_error;
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

PipeConnection::~PipeConnection()
{
    close();
}

bool PipeConnection::valid() const
{
    return m_handle != nullptr;
}

bool PipeConnection::write(const char *data, std::size_t size, ErrorCode &error)
{
    if (!m_handle) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (size > MAXDWORD) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    Overlapped overlapped;
    if (!overlapped.valid()) {
        error = GetLastError();
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(m_handle, data, static_cast<DWORD>(size), nullptr, overlapped.get())) {
        const DWORD started = GetLastError();
        if (started != ERROR_IO_PENDING) {
            error = started;
            return false;
        }
        // A write waits for room in the pipe, which a service that never reads never makes.
        if (WaitForSingleObject(overlapped.event(), kWriteTimeoutMs) != WAIT_OBJECT_0) {
            // Cancel, then let the cancellation (or a late completion) finish before the
            // OVERLAPPED record goes away.
            CancelIoEx(m_handle, overlapped.get());
            if (GetOverlappedResult(m_handle, overlapped.get(), &written, TRUE) && written == size) {
                error = 0;
                return true;
            }
            error = ERROR_TIMEOUT;
            return false;
        }
    }
    if (!GetOverlappedResult(m_handle, overlapped.get(), &written, FALSE)) {
        error = GetLastError();
        return false;
    }
    error = 0;
    return true;
}

PipeConnection::ReadResult PipeConnection::read(char *buffer, std::size_t maxBytes, unsigned timeoutMs)
{
    ReadResult result;
    if (!m_handle) {
        result.error = ERROR_INVALID_HANDLE;
        return result;
    }
    Overlapped overlapped;
    if (!overlapped.valid()) {
        result.error = GetLastError();
        return result;
    }
    const DWORD toRead = static_cast<DWORD>(std::min<std::size_t>(maxBytes, MAXDWORD));
    if (!ReadFile(m_handle, buffer, toRead, nullptr, overlapped.get())) {
        const DWORD started = GetLastError();
        if (started != ERROR_IO_PENDING) {
            result.error = started; // 109 when the service closed without answering
            return result;
        }
        const DWORD waited = WaitForSingleObject(overlapped.event(), timeoutMs);
        if (waited != WAIT_OBJECT_0) {
            // Nothing in time: cancel, then let the cancellation (or a late completion) finish
            // before the buffer and the OVERLAPPED record go away.
            const DWORD waitError = waited == WAIT_FAILED ? GetLastError() : 0;
            CancelIoEx(m_handle, overlapped.get());
            DWORD lateBytes = 0;
            if (GetOverlappedResult(m_handle, overlapped.get(), &lateBytes, TRUE)) {
                result.ok = true;
                result.bytes = lateBytes;
                return result;
            }
            const DWORD cancelled = GetLastError();
            if (waited == WAIT_TIMEOUT && cancelled == ERROR_OPERATION_ABORTED)
                result.timedOut = true;
            result.error = waitError ? waitError : cancelled;
            return result;
        }
    }
    DWORD bytes = 0;
    if (!GetOverlappedResult(m_handle, overlapped.get(), &bytes, FALSE)) {
        result.error = GetLastError();
        return result;
    }
    result.ok = true;
    result.bytes = bytes;
    return result;
}

void PipeConnection::close()
{
    if (m_handle)
        CloseHandle(m_handle);
    m_handle = nullptr;
}

std::string localServerNameForPipe(const std::string &pipePath)
{
    return pipePath;
}

} // namespace platform
