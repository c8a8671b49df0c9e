#include "testsupport.h"

#include "platform/ids.h"
#include "platform/pipe.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace fs = std::filesystem;

namespace testsupport {

namespace {

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Writes `text` to `path` so that a reader polling for `path` never sees half of it.
void writeFileAtomically(const fs::path &path, const std::string &text)
{
    const fs::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
    }
    fs::rename(temporary, path);
}

} // namespace

std::string uniqueName(const std::string &stem)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    std::ostringstream name;
    name << stem << '_' << platform::currentProcessId() << '_' << ++counter << '_' << std::hex << salt;
    return name.str();
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        sleepMs(5);
    }
    return true;
}

TempDir::TempDir()
{
    const fs::path path = fs::temp_directory_path() / uniqueName("platform-test");
    fs::create_directory(path);
#ifndef _WIN32
    ::chmod(path.c_str(), 0700);
#endif
    m_path = path.string();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

ScopedEnv::ScopedEnv(const std::string &name, const char *value) : m_name(name)
{
    if (const char *old = std::getenv(name.c_str())) {
        m_hadValue = true;
        m_oldValue = old;
    }
#ifdef _WIN32
    _putenv_s(name.c_str(), value != nullptr ? value : "");
#else
    if (value != nullptr)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
#endif
}

ScopedEnv::~ScopedEnv()
{
#ifdef _WIN32
    _putenv_s(m_name.c_str(), m_hadValue ? m_oldValue.c_str() : "");
#else
    if (m_hadValue)
        ::setenv(m_name.c_str(), m_oldValue.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
#endif
}

#ifdef _WIN32
struct IsolatedEnvironment::Impl {};
#else
struct IsolatedEnvironment::Impl {
    TempDir runtime;
    TempDir config;
    ScopedEnv runtimeVariable{"XDG_RUNTIME_DIR", runtime.path().c_str()};
    ScopedEnv configVariable{"XDG_CONFIG_HOME", config.path().c_str()};
    ScopedEnv pipeVariable{"ORLUNE_PIPE_DIR", nullptr};
};
#endif

IsolatedEnvironment::IsolatedEnvironment() : m_impl(std::make_unique<Impl>())
{
}

IsolatedEnvironment::~IsolatedEnvironment() = default;

// ---- Child processes -------------------------------------------------------------------------

#ifdef _WIN32

namespace {

std::wstring widen(const std::string &text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// Quotes one argument the way the C runtime splits a command line again.
std::wstring quoteArgument(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

} // namespace

ChildProcess::ChildProcess(const std::string &program, const std::vector<std::string> &arguments)
{
    std::wstring commandLine = quoteArgument(widen(program));
    for (const std::string &argument : arguments)
        commandLine += L" " + quoteArgument(widen(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(widen(program).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return;
    CloseHandle(info.hThread);
    m_handle = info.hProcess;
    m_pid = info.dwProcessId;
}

ChildProcess::~ChildProcess()
{
    if (started() && !m_reaped)
        kill();
    if (m_handle != nullptr)
        CloseHandle(m_handle);
}

bool ChildProcess::waitForExit(int timeoutMs, int *exitCode)
{
    if (!started())
        return false;
    if (!m_reaped) {
        if (WaitForSingleObject(m_handle, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
            return false;
        DWORD code = 0;
        GetExitCodeProcess(m_handle, &code);
        m_exitCode = static_cast<int>(code);
        m_reaped = true;
    }
    if (exitCode)
        *exitCode = m_exitCode;
    return true;
}

void ChildProcess::kill()
{
    if (!started() || m_reaped)
        return;
    TerminateProcess(m_handle, 1);
    waitForExit(10000);
}

std::string peerProgram()
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return (fs::path(std::wstring(buffer, length)).parent_path() / PLATFORM_TEST_PEER).string();
}

#else

ChildProcess::ChildProcess(const std::string &program, const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0)
        m_pid = static_cast<unsigned long>(pid);
}

ChildProcess::~ChildProcess()
{
    if (started() && !m_reaped)
        kill();
}

bool ChildProcess::waitForExit(int timeoutMs, int *exitCode)
{
    if (!started())
        return false;
    if (!m_reaped) {
        const bool reaped = waitUntil(
            [this] {
                int status = 0;
                if (::waitpid(static_cast<pid_t>(m_pid), &status, WNOHANG) != static_cast<pid_t>(m_pid))
                    return false;
                m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return true;
            },
            timeoutMs);
        if (!reaped)
            return false;
        m_reaped = true;
    }
    if (exitCode)
        *exitCode = m_exitCode;
    return true;
}

void ChildProcess::kill()
{
    if (!started() || m_reaped)
        return;
    ::kill(static_cast<pid_t>(m_pid), SIGKILL);
    waitForExit(10000);
}

std::string peerProgram()
{
    return (fs::read_symlink("/proc/self/exe").parent_path() / PLATFORM_TEST_PEER).string();
}

#endif

std::string peerExecutableName()
{
    return PLATFORM_TEST_PEER;
}

// ---- Peer ------------------------------------------------------------------------------------

Peer::Peer(const std::string &firstCommand)
{
    if (!firstCommand.empty())
        post(firstCommand);
    m_process =
        std::make_unique<ChildProcess>(peerProgram(), std::vector<std::string>{"serve", m_dir.path()});
}

Peer::~Peer()
{
    if (m_process->started() && !m_process->waitForExit(0)) {
        post("exit 0");
        if (!m_process->waitForExit(5000))
            m_process->kill();
    }
}

int Peer::post(const std::string &command)
{
    ++m_posted;
    writeFileAtomically(fs::path(m_dir.path()) / ("cmd-" + std::to_string(m_posted)), command);
    return m_posted;
}

std::string Peer::result(int number, int timeoutMs)
{
    const fs::path path = fs::path(m_dir.path()) / ("res-" + std::to_string(number));
    // Results are never empty: an empty read means the file was not readable yet (a file
    // renamed into place a moment ago may still refuse to open on Windows).
    std::string line;
    const bool answered = waitUntil(
        [&path, &line] {
            std::ifstream in(path, std::ios::binary);
            return in && std::getline(in, line) && !line.empty();
        },
        timeoutMs);
    return answered ? line : "<no answer>";
}

std::string Peer::run(const std::string &command)
{
    return result(post(command));
}

// ---- Autostart entry -------------------------------------------------------------------------

#ifdef _WIN32

bool createAutostartEntry(const std::string &name)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr,
                        0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t data[] = L"C:\\none.exe";
    const LSTATUS status = RegSetValueExW(key, widen(name).c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE *>(data), sizeof data);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

#else

bool createAutostartEntry(const std::string &name)
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config == nullptr)
        return false;
    const fs::path directory = fs::path(config) / "autostart";
    std::error_code error;
    fs::create_directories(directory, error);
    std::ofstream out(directory / (name + ".desktop"));
    out << "[Desktop Entry]\nType=Application\nExec=/bin/true\n";
    return static_cast<bool>(out);
}

#endif

// ---- Pipe server -----------------------------------------------------------------------------

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
    m_impl->path = widen(platform::localServerNameForPipe(pipePath));
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
