#include "childprocess.h"

#include "waituntil.h"

#ifdef _WIN32
#include "widestring.h"

#include <windows.h>

using platform::win32::toWide;
#else
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace testsupport {

#ifdef _WIN32

namespace {

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
    std::wstring commandLine = quoteArgument(toWide(program));
    for (const std::string &argument : arguments)
        commandLine += L" " + quoteArgument(toWide(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(toWide(program).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
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

#endif

} // namespace testsupport
