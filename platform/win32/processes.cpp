#include "platform/processes.h"

#include "widestring.h"

#include <windows.h>

#include <tlhelp32.h>

#include <utility>

namespace platform {

bool snapshotProcesses(std::vector<ProcessEntry> &out, ErrorCode &error)
{
    out.clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        out.push_back({entry.th32ProcessID, win32::toUtf8(entry.szExeFile)});
    CloseHandle(snapshot);
    error = 0;
    return true;
}

namespace {

constexpr std::size_t kLongestPath = 32768; // the longest path Windows knows, in UTF-16 units

std::uint64_t creationTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace

std::uint64_t processStartTime(unsigned long pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return 0;
    const std::uint64_t start = creationTime(process);
    CloseHandle(process);
    return start;
}

bool processExecutablePath(unsigned long pid, std::string &path, ErrorCode &error)
{
    path.clear();
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) {
        error = GetLastError();
        return false;
    }
    // Long paths exceed MAX_PATH; the call says so rather than cutting the path.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (QueryFullProcessImageNameW(process, 0, &buffer[0], &length)) {
            buffer.resize(length);
            error = 0;
            break;
        }
        error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= kLongestPath)
            break;
        buffer.resize(buffer.size() * 2);
    }
    CloseHandle(process);
    if (error != 0)
        return false;
    path = win32::toUtf8(buffer);
    return true;
}

ProcessHandle ProcessHandle::open(unsigned long pid, Access access)
{
    ProcessHandle process;
    // The query right lets startTime() tell this process from a later one with the same id; a
    // process that grants only the right itself is still opened, without a start time.
    const DWORD right = access == Access::Terminate ? PROCESS_TERMINATE : SYNCHRONIZE;
    HANDLE handle = OpenProcess(right | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!handle && GetLastError() == ERROR_ACCESS_DENIED)
        handle = OpenProcess(right, FALSE, static_cast<DWORD>(pid));
    if (!handle) {
        process.m_error = GetLastError();
        return process;
    }
    process.m_handle = handle;
    return process;
}

ProcessHandle::ProcessHandle(ProcessHandle &&other) noexcept
    : m_error(other.m_error), m_handle(std::exchange(other.m_handle, nullptr))
{
}

ProcessHandle &ProcessHandle::operator=(ProcessHandle &&other) noexcept
{
    if (this != &other) {
        close();
        m_error = other.m_error;
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

ProcessHandle::~ProcessHandle()
{
    close();
}

bool ProcessHandle::valid() const
{
    return m_handle != nullptr;
}

unsigned long ProcessHandle::wait(unsigned timeoutMs, ErrorCode *error) const
{
    if (!m_handle) {
        if (error)
            *error = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    const DWORD result = WaitForSingleObject(m_handle, timeoutMs);
    if (result == WAIT_FAILED && error)
        *error = GetLastError();
    return result;
}

bool ProcessHandle::terminate(unsigned exitCode, ErrorCode *error)
{
    if (m_handle && TerminateProcess(m_handle, exitCode))
        return true;
    if (error)
        *error = m_handle ? GetLastError() : ERROR_INVALID_HANDLE;
    return false;
}

std::uint64_t ProcessHandle::startTime() const
{
    return m_handle ? creationTime(m_handle) : 0;
}

void ProcessHandle::close()
{
    if (m_handle)
        CloseHandle(m_handle);
    m_handle = nullptr;
}

} // namespace platform
