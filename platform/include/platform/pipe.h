#pragma once

#include "platform/error.h"

#include <cstddef>
#include <string>

namespace platform {

// Client side of the service's named pipe ("\\.\pipe\NAME"; a Unix stream socket on Linux).
// One connection per request. Attempt counts, waits and sleeps between attempts belong to
// the caller; every call here is bounded.
// Linux errors: no socket, or one nobody listens on (left by a service that died), ENOENT (2),
// as for a pipe that does not exist on Windows; backlog still full
// after 600 ms EAGAIN (11), read time-out ETIMEDOUT (110). A service that closes without
// answering gives a successful read of 0 bytes on Linux and error 109 on Windows.

// WaitNamedPipeW(path, timeoutMs): true when an instance is (or became) available.
// Fails at once when no pipe of that name exists (error 2 on both systems).
bool waitForPipe(const std::string &pipePath, unsigned timeoutMs, ErrorCode &error);

class PipeConnection {
public:
    // CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED |
    // SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr) (overlapped only so that write()
    // and read() can be bounded; the server may identify the caller but not impersonate it),
    // or on Linux a connect that gives up after at most 600 ms when the service is busy.
    static PipeConnection open(const std::string &pipePath);

    PipeConnection(PipeConnection &&other) noexcept;
    PipeConnection &operator=(PipeConnection &&other) noexcept;
    PipeConnection(const PipeConnection &) = delete;
    PipeConnection &operator=(const PipeConnection &) = delete;
    ~PipeConnection(); // close()

    bool valid() const;
    ErrorCode error() const { return m_error; } // error of open()

    // One WriteFile of all bytes, given up after 1000 ms when the service does not take them
    // (ERROR_TIMEOUT 1460 on Windows, ETIMEDOUT on Linux).
    bool write(const char *data, std::size_t size, ErrorCode &error);

    struct ReadResult {
        bool ok = false;       // the read call itself succeeded
        std::size_t bytes = 0; // bytes read (0 when the peer closed without writing)
        ErrorCode error = 0;   // set when !ok; the time-out error when timedOut
        bool timedOut = false; // nothing arrived within timeoutMs; the read was cancelled
    };
    // One read of at most maxBytes, waiting at most timeoutMs for data (overlapped read plus
    // CancelIoEx on Windows, poll on Linux).
    ReadResult read(char *buffer, std::size_t maxBytes, unsigned timeoutMs);

    void close();

private:
    PipeConnection() = default;
    ErrorCode m_error = 0;
#ifdef _WIN32
    void *m_handle = nullptr; // HANDLE
#else
    int m_fd = -1; // socket
#endif
};

// The name a Qt QLocalServer must listen on to serve `pipePath` on this system: the pipe path
// itself on Windows, the socket file's full path on Linux. Used by the stand-in service and
// tests, never by the tray. Empty when the pipe directory is refused (Linux).
std::string localServerNameForPipe(const std::string &pipePath);

} // namespace platform
