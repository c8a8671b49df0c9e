#pragma once

#include "platform/error.h"

#include <string>

namespace platform {

// A named mutex created with initial ownership requested (CreateMutexW(nullptr, TRUE, name)).
// The name is the product's full object name in UTF-8, "Local\" prefix included.
// Released by the kernel when the owning process dies.
// Linux: a lock file in the per-user runtime directory; AlreadyExists reports EEXIST (17).
// An owner keeps the name even when its lock file is deleted (with the whole directory, say).
class SingleInstanceMutex {
public:
    enum class State {
        Owned,         // this process created and owns the name
        AlreadyExists, // another holder has it (ERROR_ALREADY_EXISTS); not owned
        Failed,        // no handle; error() tells why
    };

    static SingleInstanceMutex create(const std::string &name);

    SingleInstanceMutex(SingleInstanceMutex &&other) noexcept;
    SingleInstanceMutex &operator=(SingleInstanceMutex &&other) noexcept;
    SingleInstanceMutex(const SingleInstanceMutex &) = delete;
    SingleInstanceMutex &operator=(const SingleInstanceMutex &) = delete;
    ~SingleInstanceMutex(); // release()

    State state() const { return m_state; }
    // The error read right after the creation call (183 for AlreadyExists on Windows).
    ErrorCode error() const { return m_error; }

    // Owned: ReleaseMutex then CloseHandle. AlreadyExists: CloseHandle only. Idempotent.
    void release();

private:
    SingleInstanceMutex() = default;
    State m_state = State::Failed;
    ErrorCode m_error = 0;
#ifdef _WIN32
    void *m_handle = nullptr; // HANDLE
#else
    int m_fd = -1; // lock file
#endif
};

// Why named objects cannot be created, for the user: the system's text for `error` and, on
// Linux, the directory they would live in.
std::string namedObjectFailureText(ErrorCode error);

} // namespace platform
