#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace testsupport {

// A fresh directory under the system's temporary directory (mode 0700 on Linux), removed with
// its content.
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

// Makes `link` a symbolic link to the file `target` (UTF-8 paths) that the system follows:
// std::filesystem cannot make one with this Windows toolchain, and QFile::link makes a
// shortcut file there. Empty on success, else the reason.
std::string makeFileSymlink(const std::string &target, const std::string &link);

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

// Linux: a runtime directory, config home and pipe directory of its own for this test and the
// processes it starts, so named objects, pipes and autostart entries never meet another test's.
// Windows: nothing to isolate (names carry the process id instead); the directories are empty.
class IsolatedEnvironment {
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();
    IsolatedEnvironment(const IsolatedEnvironment &) = delete;
    IsolatedEnvironment &operator=(const IsolatedEnvironment &) = delete;

    std::string runtimeDir() const;
    std::string configHome() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Linux: lets the files this process writes grow to `bytes` only, which is how a full disk looks
// to a writer: a write past the limit takes what fits, the next fails (EFBIG; SIGXFSZ, which would
// end the process, is ignored meanwhile). Destroying it lifts the limit again: room again. Needs
// no privileges, since only the soft limit moves. Windows has no such limit: active() is false.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::int64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool active() const { return m_active; }

private:
    bool m_active = false;
    std::uint64_t m_oldLimit = 0;
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace testsupport
