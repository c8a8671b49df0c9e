#include "environment.h"

#include "uniquename.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir()
{
    const fs::path path = fs::temp_directory_path() / uniqueName("test");
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

#ifdef _WIN32
namespace {

std::wstring wide(const std::string &text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
    result.resize(result.size() - 1);
    return result;
}

} // namespace

std::string makeFileSymlink(const std::string &target, const std::string &link)
{
    // Without developer mode only an elevated process may make one; the flag asks for it.
    constexpr DWORD kAllowUnprivileged = 0x2;
    if (CreateSymbolicLinkW(wide(link).c_str(), wide(target).c_str(), kAllowUnprivileged))
        return {};
    return "CreateSymbolicLinkW failed with error " + std::to_string(GetLastError());
}
#else
std::string makeFileSymlink(const std::string &target, const std::string &link)
{
    std::error_code error;
    fs::create_symlink(target, link, error);
    return error ? error.message() : std::string();
}
#endif

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

std::string IsolatedEnvironment::runtimeDir() const
{
    return {};
}

std::string IsolatedEnvironment::configHome() const
{
    return {};
}

#else

struct IsolatedEnvironment::Impl {
    TempDir runtime;
    TempDir config;
    ScopedEnv runtimeVariable{"XDG_RUNTIME_DIR", runtime.path().c_str()};
    ScopedEnv configVariable{"XDG_CONFIG_HOME", config.path().c_str()};
    // A pipe directory inherited from the caller would be shared with other tests.
    ScopedEnv pipeVariable{"ORLUNE_PIPE_DIR", nullptr};
};

std::string IsolatedEnvironment::runtimeDir() const
{
    return m_impl->runtime.path();
}

std::string IsolatedEnvironment::configHome() const
{
    return m_impl->config.path();
}

#endif

IsolatedEnvironment::IsolatedEnvironment() : m_impl(std::make_unique<Impl>())
{
}

IsolatedEnvironment::~IsolatedEnvironment() = default;

#ifdef _WIN32

FileSizeLimit::FileSizeLimit(std::int64_t)
{
}

FileSizeLimit::~FileSizeLimit() = default;

#else

FileSizeLimit::FileSizeLimit(std::int64_t bytes)
{
    rlimit limit{};
    if (bytes < 0 || ::getrlimit(RLIMIT_FSIZE, &limit) != 0 ||
        (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < static_cast<rlim_t>(bytes)))
        return;
    m_oldLimit = limit.rlim_cur;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    m_active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    if (!m_active)
        std::signal(SIGXFSZ, m_oldHandler);
}

FileSizeLimit::~FileSizeLimit()
{
    if (!m_active)
        return;
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_oldLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}

#endif

} // namespace testsupport
