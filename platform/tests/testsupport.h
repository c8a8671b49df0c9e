#pragma once

// Helpers of the OS layer's own tests: the Qt-free core of the test kit, and what only these
// tests need (the peer process, an autostart entry as the system keeps it). Backend-neutral: the
// same contract tests build against the Linux and the Win32 backend.

#include "core/childprocess.h"
#include "core/environment.h"
#include "core/testpipeserver.h"
#include "core/uniquename.h"
#include "core/waituntil.h"

#include <memory>
#include <string>

namespace testsupport {

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

// Creates the current user's autostart entry `name` as the system keeps it (registry value or
// desktop file), so the removal can be observed.
bool createAutostartEntry(const std::string &name);

} // namespace testsupport
