#include "testpipeserver.h"

#include "platform/pipe.h"

#include <mutex>
#include <thread>
#include <vector>

#ifdef _WIN32
#include "widestring.h"

#include <windows.h>

using platform::win32::toWide;
#else
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace testsupport {

#ifndef _WIN32

struct TestPipeServer::Impl {
    std::string socketPath;
    int listener = -1;
    int stopPipe[2] = {-1, -1};
    std::vector<int> heldSockets; // open connections (NeverAnswer) or backlog fillers (Busy)
    std::thread thread;
    mutable std::mutex mutex;
    std::string lastRequest;
    Mode mode = Mode::Answer;
    std::string answer;

    void serve();
    std::string readRequest(int connection);
};

std::string TestPipeServer::Impl::readRequest(int connection)
{
    std::string request;
    char buffer[512];
    for (;;) {
        pollfd entries[2] = {{connection, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        if (::poll(entries, 2, 5000) <= 0 || entries[1].revents != 0)
            break;
        const ssize_t got = ::read(connection, buffer, sizeof buffer);
        if (got <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(got));
        if (request.back() == '\n')
            break;
    }
    return request;
}

void TestPipeServer::Impl::serve()
{
    for (;;) {
        pollfd entries[2] = {{listener, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR)
            return;
        if (entries[1].revents != 0)
            return;
        if (entries[0].revents == 0)
            continue;
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        const std::string request = readRequest(connection);
        {
            std::lock_guard<std::mutex> lock(mutex);
            lastRequest = request;
        }
        if (mode == Mode::NeverAnswer) {
            heldSockets.push_back(connection);
            continue;
        }
        if (mode == Mode::Answer)
            static_cast<void>(::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL));
        ::close(connection);
    }
}

TestPipeServer::TestPipeServer(const std::string &pipePath, Mode mode, std::string answer)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->mode = mode;
    m_impl->answer = std::move(answer);
    const std::string path = platform::localServerNameForPipe(pipePath);
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return;
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    ::unlink(path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, mode == Mode::Busy ? 0 : 16) != 0) {
        ::close(fd);
        return;
    }
    m_impl->listener = fd;
    m_impl->socketPath = path;
    if (mode == Mode::Busy) {
        // Take every slot of the backlog with connections nobody will accept.
        for (int i = 0; i < 64; ++i) {
            const int filler = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (::connect(filler, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
                ::close(filler);
                break;
            }
            m_impl->heldSockets.push_back(filler);
        }
        return;
    }
    if (::pipe2(m_impl->stopPipe, O_CLOEXEC) != 0)
        return;
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->serve(); });
}

TestPipeServer::~TestPipeServer()
{
    if (m_impl->thread.joinable()) {
        const char stop = 1;
        static_cast<void>(::write(m_impl->stopPipe[1], &stop, 1));
        m_impl->thread.join();
    }
    for (const int fd : m_impl->heldSockets)
        ::close(fd);
    for (const int fd : {m_impl->stopPipe[0], m_impl->stopPipe[1], m_impl->listener})
        if (fd >= 0)
            ::close(fd);
    if (m_impl->listener >= 0)
        ::unlink(m_impl->socketPath.c_str());
}

bool TestPipeServer::listening() const
{
    return m_impl->listener >= 0;
}

std::string TestPipeServer::lastRequest() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->lastRequest;
}

#else

// One connection at a time, with a free instance always waiting except in Busy mode, where
// the one permitted instance is taken by the server's own client handle.
struct TestPipeServer::Impl {
    std::wstring path;
    Mode mode = Mode::Answer;
    std::string answer;
    HANDLE firstInstance = INVALID_HANDLE_VALUE;
    HANDLE occupier = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr;
    std::thread thread;
    mutable std::mutex mutex;
    std::string lastRequest;

    HANDLE createInstance(DWORD maxInstances) const;
    bool complete(HANDLE instance, OVERLAPPED &overlapped, DWORD &bytes) const;
    void run(HANDLE instance);
    void serve(HANDLE instance);
};

namespace {

constexpr DWORD kPipeBufferSize = 4096;

struct IoEvent {
    OVERLAPPED overlapped{};
    IoEvent() { overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~IoEvent() { CloseHandle(overlapped.hEvent); }
    IoEvent(const IoEvent &) = delete;
    IoEvent &operator=(const IoEvent &) = delete;
};

} // namespace

HANDLE TestPipeServer::Impl::createInstance(DWORD maxInstances) const
{
    return CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, maxInstances, kPipeBufferSize,
                            kPipeBufferSize, 0, nullptr);
}

// Waits for an overlapped operation to finish, or cancels it when the server is stopped.
bool TestPipeServer::Impl::complete(HANDLE instance, OVERLAPPED &overlapped, DWORD &bytes) const
{
    const HANDLE handles[2] = {overlapped.hEvent, stop};
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(instance, &overlapped);
        GetOverlappedResult(instance, &overlapped, &bytes, TRUE);
        return false;
    }
    return GetOverlappedResult(instance, &overlapped, &bytes, FALSE) != FALSE;
}

void TestPipeServer::Impl::run(HANDLE instance)
{
    while (instance != INVALID_HANDLE_VALUE) {
        IoEvent connect;
        DWORD unused = 0;
        bool connected = ConnectNamedPipe(instance, &connect.overlapped) != FALSE;
        if (!connected) {
            const DWORD error = GetLastError();
            if (error == ERROR_PIPE_CONNECTED)
                connected = true;
            else if (error == ERROR_IO_PENDING)
                connected = complete(instance, connect.overlapped, unused);
        }
        if (!connected || WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
            CloseHandle(instance);
            return;
        }
        const HANDLE next = createInstance(PIPE_UNLIMITED_INSTANCES);
        serve(instance);
        CloseHandle(instance);
        instance = next;
    }
}

void TestPipeServer::Impl::serve(HANDLE instance)
{
    std::string request;
    char buffer[kPipeBufferSize];
    while (request.empty() || request.back() != '\n') {
        IoEvent read;
        DWORD bytes = 0;
        if (!ReadFile(instance, buffer, sizeof buffer, nullptr, &read.overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return;
        if (!complete(instance, read.overlapped, bytes) || bytes == 0)
            return;
        request.append(buffer, bytes);
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        lastRequest = request;
    }
    if (mode == Mode::CloseWithoutWriting)
        return;
    if (mode == Mode::Answer) {
        IoEvent write;
        DWORD bytes = 0;
        if (!WriteFile(instance, answer.data(), static_cast<DWORD>(answer.size()), nullptr,
                       &write.overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return;
        if (!complete(instance, write.overlapped, bytes))
            return;
    }
    // Close only once the client hung up: closing earlier could discard an unread answer.
    IoEvent hangUp;
    DWORD bytes = 0;
    if (ReadFile(instance, buffer, sizeof buffer, nullptr, &hangUp.overlapped) ||
        GetLastError() == ERROR_IO_PENDING)
        complete(instance, hangUp.overlapped, bytes);
}

TestPipeServer::TestPipeServer(const std::string &pipePath, Mode mode, std::string answer)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->path = toWide(platform::localServerNameForPipe(pipePath));
    m_impl->mode = mode;
    m_impl->answer = std::move(answer);
    m_impl->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_impl->firstInstance = m_impl->createInstance(mode == Mode::Busy ? 1 : PIPE_UNLIMITED_INSTANCES);
    if (m_impl->firstInstance == INVALID_HANDLE_VALUE)
        return;
    if (mode == Mode::Busy) {
        m_impl->occupier = CreateFileW(m_impl->path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
        return;
    }
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->run(impl->firstInstance); });
}

TestPipeServer::~TestPipeServer()
{
    SetEvent(m_impl->stop);
    if (m_impl->thread.joinable())
        m_impl->thread.join(); // the thread closes the instances it served
    else if (m_impl->firstInstance != INVALID_HANDLE_VALUE)
        CloseHandle(m_impl->firstInstance);
    if (m_impl->occupier != INVALID_HANDLE_VALUE)
        CloseHandle(m_impl->occupier);
    CloseHandle(m_impl->stop);
}

bool TestPipeServer::listening() const
{
    return m_impl->firstInstance != INVALID_HANDLE_VALUE &&
           (m_impl->mode != Mode::Busy || m_impl->occupier != INVALID_HANDLE_VALUE);
}

std::string TestPipeServer::lastRequest() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->lastRequest;
}

#endif

} // namespace testsupport
