#include "testsupport.h"

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include "../win32/widestring.h"

#include <windows.h>

using platform::win32::toWide;
#else
#include <cstdlib>
#endif

namespace fs = std::filesystem;

namespace testsupport {

namespace {

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

#ifdef _WIN32

std::string peerProgram()
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return (fs::path(std::wstring(buffer, length)).parent_path() / PLATFORM_TEST_PEER).string();
}

#else

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
    const LSTATUS status = RegSetValueExW(key, toWide(name).c_str(), 0, REG_SZ,
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

} // namespace testsupport
