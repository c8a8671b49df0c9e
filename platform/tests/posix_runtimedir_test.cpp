// Where the Linux backend puts its objects and pipes, and that no name can escape.

#include "../posix/runtimedir.h"

#include "platform/namedevent.h"
#include "platform/namedmutex.h"
#include "platform/pipe.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
namespace posix = platform::posix;
using platform::NamedEvent;
using platform::SingleInstanceMutex;

namespace {

std::set<std::string> entriesOf(const std::string &directory)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

// A user that is not us, to give directories away to.
uid_t otherUser()
{
    return ::geteuid() == 65534 ? 65533 : 65534;
}

mode_t modeOf(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class RuntimeDirectory : public ::testing::Test {
protected:
    testsupport::TempDir base;
    testsupport::ScopedEnv runtimeVariable{"XDG_RUNTIME_DIR", base.path().c_str()};
    testsupport::ScopedEnv pipeVariable{"ORLUNE_PIPE_DIR", nullptr};
    const std::string expected = base.path() + "/orlune-runtime";
};

TEST_F(RuntimeDirectory, IsCreatedPrivateUnderTheXdgRuntimeDirectory)
{
    const mode_t oldMask = ::umask(0);
    const posix::PathResult dir = posix::runtimeDirectory();
    ::umask(oldMask);
    ASSERT_TRUE(dir.ok()) << dir.error;
    EXPECT_EQ(dir.path, expected);
    EXPECT_EQ(modeOf(expected), 0700u);
    EXPECT_EQ(posix::objectPath("Local\\Orlune_DizovuvOdiv").path, expected + "/Orlune_DizovuvOdiv");
}

TEST_F(RuntimeDirectory, FallsBackToAFolderInTheUsersOwnHome)
{
    testsupport::TempDir home;
    testsupport::ScopedEnv homeVariable("HOME", home.path().c_str());
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const std::string inHome = home.path() + "/.orlune-runtime-" + posix::percentEncode(host);
    for (const char *value : {static_cast<const char *>(nullptr), "", "relative/dir"}) {
        testsupport::ScopedEnv variable("XDG_RUNTIME_DIR", value);
        const posix::PathResult dir = posix::runtimeDirectory();
        ASSERT_TRUE(dir.ok()) << dir.error;
        EXPECT_EQ(dir.path, inHome);
        EXPECT_EQ(modeOf(inHome), 0700u);
    }

    // A $HOME that others can write to is not taken for the user's own.
    testsupport::ScopedEnv variable("XDG_RUNTIME_DIR", nullptr);
    ::chmod(home.path().c_str(), 0777);
    EXPECT_NE(posix::runtimeDirectoryPath().rfind(home.path(), 0), 0u);
}

TEST_F(RuntimeDirectory, ReadsTheEnvironmentOnEveryCall)
{
    testsupport::TempDir other;
    EXPECT_EQ(posix::runtimeDirectory().path, expected);
    testsupport::ScopedEnv variable("XDG_RUNTIME_DIR", other.path().c_str());
    EXPECT_EQ(posix::runtimeDirectory().path, other.path() + "/orlune-runtime");
}

TEST_F(RuntimeDirectory, IsRefusedWhenSomebodyElseCouldPlantObjectsInIt)
{
    struct Case {
        const char *what;
        std::function<bool()> prepare; // false: cannot be arranged by this user
        platform::ErrorCode error;
    };
    const std::vector<Case> cases = {
        {"owned by another user",
         [&] {
             fs::create_directory(expected);
             return ::chown(expected.c_str(), otherUser(), otherUser()) == 0;
         },
         EPERM},
        {"group writable",
         [&] {
             fs::create_directory(expected);
             return ::chmod(expected.c_str(), 0770) == 0;
         },
         EACCES},
        {"world writable",
         [&] {
             fs::create_directory(expected);
             return ::chmod(expected.c_str(), 0707) == 0;
         },
         EACCES},
        {"a regular file", [&] { return static_cast<bool>(std::ofstream(expected) << "x"); }, ENOTDIR},
        {"a symbolic link to our own directory",
         [&] {
             fs::create_directory(base.path() + "/elsewhere");
             fs::create_directory_symlink(base.path() + "/elsewhere", expected);
             return true;
         },
         ENOTDIR},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(expected);
        fs::remove_all(base.path() + "/elsewhere");
        if (!c.prepare()) {
            std::printf("skipped \"%s\": needs root\n", c.what);
            continue;
        }

        EXPECT_EQ(posix::runtimeDirectory().error, c.error);
        const SingleInstanceMutex mutex = SingleInstanceMutex::create("Local\\refused");
        EXPECT_EQ(mutex.state(), SingleInstanceMutex::State::Failed);
        EXPECT_EQ(mutex.error(), c.error);
        const NamedEvent event = NamedEvent::create("Local\\refused", NamedEvent::Security::Default);
        EXPECT_FALSE(event.valid());
        EXPECT_EQ(event.error(), c.error);
        if (!fs::exists(posix::kMachinePipeDirectory)) {
            EXPECT_EQ(platform::localServerNameForPipe("\\\\.\\pipe\\refused"), "");
        }

        if (fs::is_directory(expected)) {
            EXPECT_TRUE(entriesOf(expected).empty());
        }
        if (fs::exists(base.path() + "/elsewhere")) {
            EXPECT_TRUE(entriesOf(base.path() + "/elsewhere").empty());
        }
    }
}

TEST_F(RuntimeDirectory, HostileNamesStayOneFileInsideIt)
{
    const std::vector<std::string> names = {
        "a/b",
        "..",
        ".",
        "...",
        "..\\x",
        "../../escape",
        "/etc/passwd",
        "\\..\\x",
        std::string("nul\0byte", 8),
        "\xC3\x9C"
        "ber\xE5\x90\x8D",
        "Local\\..",
        "with blank",
        "%2E%2E",
        std::string(400, '/'),
        std::string(300, 'n'),
        "",
    };
    std::set<std::string> files;
    for (const std::string &raw : names) {
        const std::string name = "Local\\" + raw;
        SingleInstanceMutex mutex = SingleInstanceMutex::create(name);
        if (raw.empty()) {
            EXPECT_EQ(mutex.error(), static_cast<platform::ErrorCode>(EINVAL));
            continue;
        }
        NamedEvent event = NamedEvent::create(name + "#event", NamedEvent::Security::Default);
        EXPECT_EQ(mutex.state(), SingleInstanceMutex::State::Owned) << raw;
        EXPECT_TRUE(event.valid()) << raw;
        const posix::PathResult path = posix::objectPath(name);
        ASSERT_TRUE(path.ok());
        EXPECT_EQ(fs::path(path.path).parent_path().string(), expected) << raw;
        files.insert(fs::path(path.path).filename().string());
    }

    // Only our folder in the base, only plain files with safe names in the folder, and one
    // distinct file per distinct name.
    EXPECT_EQ(entriesOf(base.path()), std::set<std::string>{"orlune-runtime"});
    const std::regex safe("[A-Za-z0-9._%~-]+");
    for (const auto &entry : fs::directory_iterator(expected)) {
        const std::string file = entry.path().filename().string();
        EXPECT_TRUE(entry.is_regular_file()) << file;
        EXPECT_TRUE(std::regex_match(file, safe)) << file;
        EXPECT_NE(file.find_first_not_of('.'), std::string::npos) << file;
    }
    EXPECT_EQ(files.size(), names.size() - 1);
    EXPECT_EQ(entriesOf(expected).size(), 2 * (names.size() - 1));
}

TEST(ObjectNames, AreEncodedByteForByte)
{
    const std::string dir = "/run/user/1000/orlune-runtime";
    EXPECT_EQ(posix::encodeObjectName("Orlune_TrayExitRequest", dir), "Orlune_TrayExitRequest");
    EXPECT_EQ(posix::encodeObjectName("a-b.c_d", dir), "a-b.c_d");
    EXPECT_EQ(posix::encodeObjectName("a/b", dir), "a%2Fb");
    EXPECT_EQ(posix::encodeObjectName("a\\b c", dir), "a%5Cb%20c");
    EXPECT_EQ(posix::encodeObjectName("100%", dir), "100%25");
    EXPECT_EQ(posix::encodeObjectName(".", dir), "%2E");
    EXPECT_EQ(posix::encodeObjectName("..", dir), "%2E%2E");
    EXPECT_EQ(posix::encodeObjectName("..a", dir), "..a");
    EXPECT_EQ(posix::encodeObjectName("\xC3\x9C", dir), "%C3%9C");
}

TEST_F(RuntimeDirectory, OnlyALeadingLocalPrefixIsDropped)
{
    EXPECT_EQ(posix::objectPath("Local\\x").path, expected + "/x");
    EXPECT_EQ(posix::objectPath("LOCAL\\x").path, expected + "/x");
    EXPECT_EQ(posix::objectPath("x").path, expected + "/x");
    EXPECT_EQ(posix::objectPath("Global\\x").path, expected + "/Global%5Cx");
    EXPECT_EQ(posix::objectPath("Local\\Local\\x").path, expected + "/Local%5Cx");
    EXPECT_EQ(posix::objectPath("Local\\").error, static_cast<platform::ErrorCode>(EINVAL));
}

TEST(ObjectNames, TooLongForASocketAreShortenedWithAHash)
{
    const std::string dir = "/run/user/1000/orlune-runtime";
    const std::string longName(200, 'a');
    const std::string shortened = posix::encodeObjectName(longName, dir);
    EXPECT_EQ(dir.size() + 1 + shortened.size(), posix::kMaxSocketPath);
    EXPECT_TRUE(std::regex_match(shortened, std::regex("a+~[0-9a-f]{16}"))) << shortened;
    EXPECT_EQ(posix::encodeObjectName(longName, dir), shortened);
    EXPECT_NE(posix::encodeObjectName(longName + "b", dir), shortened);
    EXPECT_NE(posix::encodeObjectName(std::string(199, 'a') + "b", dir), shortened);

    // The longest name that fits is kept as it is.
    const std::string fits(posix::kMaxSocketPath - dir.size() - 1, 'z');
    EXPECT_EQ(posix::encodeObjectName(fits, dir), fits);

    // Escapes are never cut in half, wherever the cut falls.
    for (std::size_t plain = 0; plain < 3; ++plain) {
        const std::string cut = posix::encodeObjectName(std::string(plain, 'p') + std::string(100, '/'), dir);
        EXPECT_TRUE(std::regex_match(cut, std::regex("p*(%2F)*~[0-9a-f]{16}"))) << cut;
    }
}

TEST(ObjectNames, AreRefusedWhenTheDirectoryLeavesNoRoomForAHash)
{
    EXPECT_EQ(posix::encodeObjectName("name", std::string(100, 'd')), "name");
    EXPECT_EQ(posix::encodeObjectName("a-name-longer-than-the-room", std::string(100, 'd')), "");

    testsupport::TempDir deep;
    const std::string longBase = deep.path() + "/" + std::string(95 - deep.path().size(), 'd');
    fs::create_directory(longBase);
    testsupport::ScopedEnv variable("XDG_RUNTIME_DIR", longBase.c_str());
    EXPECT_EQ(posix::objectPath("Local\\name").error, static_cast<platform::ErrorCode>(ENAMETOOLONG));
    EXPECT_EQ(SingleInstanceMutex::create("Local\\name").error(),
              static_cast<platform::ErrorCode>(ENAMETOOLONG));
}

class PipeDirectory : public RuntimeDirectory {
protected:
    testsupport::TempDir machine;
};

TEST_F(PipeDirectory, FollowsTheOverrideThenTheMachineWideDirectoryThenTheRuntimeDirectory)
{
    const std::string missing = machine.path() + "/missing";
    EXPECT_EQ(posix::pipeDirectory(missing.c_str()).path, expected);
    EXPECT_EQ(posix::pipeDirectory(machine.path().c_str()).path, machine.path());

    testsupport::TempDir chosen;
    {
        testsupport::ScopedEnv variable("ORLUNE_PIPE_DIR", chosen.path().c_str());
        EXPECT_EQ(posix::pipeDirectory(machine.path().c_str()).path, chosen.path());
    }
    {
        testsupport::ScopedEnv variable("ORLUNE_PIPE_DIR", "");
        EXPECT_EQ(posix::pipeDirectory(missing.c_str()).path, expected);
    }
}

TEST_F(PipeDirectory, AnUnsafeMachineWideDirectoryIsAnErrorNotAFallback)
{
    ::chmod(machine.path().c_str(), 0777);
    EXPECT_EQ(posix::pipeDirectory(machine.path().c_str()).error, static_cast<platform::ErrorCode>(EACCES));
    ::chmod(machine.path().c_str(), 0700);
    if (::chown(machine.path().c_str(), otherUser(), otherUser()) != 0)
        GTEST_SKIP() << "giving a directory to another user needs root";
    EXPECT_EQ(posix::pipeDirectory(machine.path().c_str()).error, static_cast<platform::ErrorCode>(EPERM));
    ASSERT_EQ(::chown(machine.path().c_str(), 0, 0), 0);
    EXPECT_EQ(posix::pipeDirectory(machine.path().c_str()).error, 0u);
}

TEST_F(PipeDirectory, PipeNamesMapToSocketsInIt)
{
    testsupport::ScopedEnv variable("ORLUNE_PIPE_DIR", machine.path().c_str());
    const std::string dir = machine.path();
    EXPECT_EQ(posix::pipeSocketPath("\\\\.\\pipe\\Orlune_Service").path, dir + "/Orlune_Service");
    EXPECT_EQ(posix::pipeSocketPath("\\\\.\\PIPE\\Orlune_Service").path, dir + "/Orlune_Service");
    EXPECT_EQ(posix::pipeSocketPath("\\\\.\\pipe\\a\\..\\b").path, dir + "/a%5C..%5Cb");
    EXPECT_EQ(posix::pipeSocketPath("no-prefix").path, dir + "/no-prefix");
    EXPECT_EQ(platform::localServerNameForPipe("\\\\.\\pipe\\Orlune_Service"), dir + "/Orlune_Service");
}

} // namespace
