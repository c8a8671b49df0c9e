#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A started program. Killed and reaped when destroyed if it still runs.
class ChildProcess {
public:
    ChildProcess(const std::string &program, const std::vector<std::string> &arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return m_pid != 0; }
    unsigned long pid() const { return m_pid; }
    // Waits for the end and reaps the process; false when it still runs after `timeoutMs`.
    bool waitForExit(int timeoutMs, int *exitCode = nullptr);
    void kill();

private:
    unsigned long m_pid = 0;
    void *m_handle = nullptr; // process HANDLE on Windows
    bool m_reaped = false;
    int m_exitCode = -1;
};

} // namespace testsupport
