#pragma once

// Helpers of the OS layer's own tests. Qt-free and backend-neutral: the same contract tests
// build against the Linux and the Win32 backend.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// A name no other test (or test process) uses: stem, process id, a counter and random digits.
std::string uniqueName(const std::string &stem);

// Polls `condition` every few milliseconds until it holds or `timeoutMs` passed.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

// A fresh directory under the system's temporary directory, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

// Sets (or with nullptr removes) an environment variable for this process and the processes
// it starts, and restores the old value when destroyed.
class ScopedEnv {
public:
    ScopedEnv(const std::string &name, const char *value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string m_name;
    bool m_hadValue = false;
    std::string m_oldValue;
};

// Linux: own runtime directory, config home and pipe directory for this test and its
// children. Windows: nothing to isolate (names carry the process id instead).
class IsolatedEnvironment {
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();
    IsolatedEnvironment(const IsolatedEnvironment &) = delete;
    IsolatedEnvironment &operator=(const IsolatedEnvironment &) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

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

// Full path of the peer program, which lies beside the test program.
std::string peerProgram();
// The peer's executable file name as a process snapshot shows it.
std::string peerExecutableName();

// A second process that runs the commands it is sent (see test_peer.cpp) one after another
// and reports each result in a file.
class Peer {
public:
    // `firstCommand`, when given, is queued before the process starts.
    explicit Peer(const std::string &firstCommand = {});
    ~Peer();
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    // Queues a command; returns its number.
    int post(const std::string &command);
    // The result line of command `number`; "<no answer>" when none came in time.
    std::string result(int number, int timeoutMs = 10000);
    // post() and result() in one.
    std::string run(const std::string &command);

    ChildProcess &process() { return *m_process; }

private:
    TempDir m_dir;
    int m_posted = 0;
    std::unique_ptr<ChildProcess> m_process;
};

// A small service for the pipe client tests, serving `pipePath` until destroyed.
class TestPipeServer {
public:
    enum class Mode {
        Answer,              // reads the request line, writes `answer` in one write, closes
        CloseWithoutWriting, // reads the request line, closes
        NeverAnswer,         // reads the request line, keeps the connection open, silent
        Busy                 // never accepts; every connection slot stays taken
    };
    TestPipeServer(const std::string &pipePath, Mode mode, std::string answer = {});
    ~TestPipeServer();
    TestPipeServer(const TestPipeServer &) = delete;
    TestPipeServer &operator=(const TestPipeServer &) = delete;

    bool listening() const;
    // The request bytes of the latest connection, once it has been read.
    std::string lastRequest() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Creates the current user's autostart entry `name` as the system keeps it (registry value or
// desktop file), so the removal can be observed.
bool createAutostartEntry(const std::string &name);

} // namespace testsupport
