#pragma once

#include "platform/error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
    unsigned long pid = 0;
    std::string exeName; // executable file name only (no directory), UTF-8
    // Runs as this process's (effective) user. Always true on Windows, where a process of
    // another user cannot be opened without elevation anyway.
    bool ownUser = true;
};

// CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0) walked with Process32FirstW/NextW (entry
// size 568), in snapshot order; /proc on Linux. False when no snapshot could be taken.
bool snapshotProcesses(std::vector<ProcessEntry> &out, ErrorCode &error);

// When the process started, in the system's own units (creation time on Windows, clock ticks
// since boot on Linux). With the id it tells a process from a later one that got the same id.
// 0 when the process is gone or cannot be inspected.
std::uint64_t processStartTime(unsigned long pid);

// The full path of the process's executable file, UTF-8: QueryFullProcessImageNameW on a handle
// opened with PROCESS_QUERY_LIMITED_INFORMATION; the target of /proc/PID/exe on Linux. False
// with the system's error when the process is gone or does not let its path be read (on Linux
// another user's process, a kernel thread).
bool processExecutablePath(unsigned long pid, std::string &path, ErrorCode &error);

// Wait results as WaitForSingleObject reports them; the product logs them as unsigned decimals.
constexpr unsigned long kWaitObject0 = 0;
constexpr unsigned long kWaitTimeout = 258;
constexpr unsigned long kWaitFailed = 0xFFFFFFFFul;

class ProcessHandle {
public:
    enum class Access {
        Synchronize, // OpenProcess(SYNCHRONIZE, FALSE, pid); pidfd on Linux
        Terminate    // OpenProcess(PROCESS_TERMINATE, FALSE, pid); pidfd on Linux
    };

    // A process that is gone fails (87 on Windows, ESRCH on Linux). Windows handles also carry
    // PROCESS_QUERY_LIMITED_INFORMATION, for startTime(), where the process grants it.
    static ProcessHandle open(unsigned long pid, Access access);

    ProcessHandle() = default; // invalid
    ProcessHandle(ProcessHandle &&other) noexcept;
    ProcessHandle &operator=(ProcessHandle &&other) noexcept;
    ProcessHandle(const ProcessHandle &) = delete;
    ProcessHandle &operator=(const ProcessHandle &) = delete;
    ~ProcessHandle(); // close()

    bool valid() const;
    ErrorCode error() const { return m_error; } // error of open()

    // WaitForSingleObject(handle, timeoutMs): kWaitObject0 when the process has ended,
    // kWaitTimeout, or kWaitFailed with *error set.
    unsigned long wait(unsigned timeoutMs, ErrorCode *error = nullptr) const;
    // TerminateProcess(handle, exitCode); SIGKILL through the pidfd on Linux, where exitCode
    // has no effect. A Synchronize handle cannot terminate (5 on Windows, EACCES on Linux).
    bool terminate(unsigned exitCode, ErrorCode *error = nullptr);

    // The start time (as processStartTime()) of the process this handle refers to; 0 when it
    // cannot be read or, on Linux, when the id now belongs to another process.
    std::uint64_t startTime() const;

    void close();

private:
    ErrorCode m_error = 0;
#ifdef _WIN32
    void *m_handle = nullptr; // HANDLE
#else
    int m_fd = -1; // pidfd
    unsigned long m_pid = 0;
    Access m_access = Access::Synchronize;
#endif
};

} // namespace platform
