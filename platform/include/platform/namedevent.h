#pragma once

#include "platform/error.h"

#include <string>

namespace platform {

// A named manual-reset event shared between processes of one logon. The name is the
// product's full object name in UTF-8, "Local\" prefix included.
// Linux: a state file in the per-user runtime directory that lives as long as a handle is
// open, as the Windows object does; set or reset through a Synchronize handle fails with
// EACCES (13), where Windows reports 5.
class NamedEvent {
public:
    enum class Security {
        Default,           // CreateEventW without security attributes
        AnyLocalUserMaySet // DACL "D:(A;;0x00100003;;;BU)"; default security when that fails
    };
    enum class Access {
        Synchronize, // SYNCHRONIZE: wait and query only
        Modify       // SYNCHRONIZE | EVENT_MODIFY_STATE: may also set and reset
    };
    enum class WaitResult { Signalled, NotSignalled, Failed };

    // CreateEventW: manual reset, initially not signalled. Opens the existing event when
    // another process created it first (its state is kept).
    static NamedEvent create(const std::string &name, Security security);
    // OpenEventW, handle not inheritable. Fails (error 2 on both systems) when no event of
    // that name exists.
    static NamedEvent open(const std::string &name, Access access);

    NamedEvent() = default; // invalid
    NamedEvent(NamedEvent &&other) noexcept;
    NamedEvent &operator=(NamedEvent &&other) noexcept;
    NamedEvent(const NamedEvent &) = delete;
    NamedEvent &operator=(const NamedEvent &) = delete;
    ~NamedEvent(); // close()

    bool valid() const;
    // The error of the create or open call; 0 when it succeeded.
    ErrorCode error() const { return m_error; }

    // SetEvent / ResetEvent. On failure return false and store the code in *error.
    bool set(ErrorCode *error = nullptr);
    bool reset(ErrorCode *error = nullptr);
    // WaitForSingleObject(handle, 0).
    WaitResult poll() const;

    void close();

private:
    ErrorCode m_error = 0;
#ifdef _WIN32
    void *m_handle = nullptr; // HANDLE
#else
    int m_fd = -1;            // state file
    bool m_canModify = false; // whether this handle was opened with modify rights
#endif
};

} // namespace platform
