// Linux specifics of processes: errno values, zombies, names of deleted and long-named
// executables, and the access a handle was opened with.

#include "../posix/processname.h"

#include "platform/processes.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include <sys/wait.h>

namespace fs = std::filesystem;
using platform::ProcessHandle;

namespace {

std::string nameOf(unsigned long pid)
{
    std::vector<platform::ProcessEntry> entries;
    platform::ErrorCode error = 0;
    EXPECT_TRUE(platform::snapshotProcesses(entries, error));
    for (const auto &entry : entries)
        if (entry.pid == pid)
            return entry.exeName;
    return {};
}

TEST(PosixProcesses, OpeningAMissingPidFailsWithEsrch)
{
    unsigned long pidMax = 0;
    std::ifstream("/proc/sys/kernel/pid_max") >> pidMax;
    ASSERT_GT(pidMax, 0u);
    EXPECT_EQ(ProcessHandle::open(pidMax, ProcessHandle::Access::Synchronize).error(),
              static_cast<platform::ErrorCode>(ESRCH));
    EXPECT_EQ(ProcessHandle::open(0x80000000ul, ProcessHandle::Access::Synchronize).error(),
              static_cast<platform::ErrorCode>(ESRCH));
    EXPECT_FALSE(ProcessHandle::open(0, ProcessHandle::Access::Terminate).valid());
}

TEST(PosixProcesses, AZombieHasEnded)
{
    testsupport::ChildProcess child(testsupport::peerProgram(), {"exit", "0"});
    ASSERT_TRUE(child.started());
    siginfo_t info{};
    // Wait for the end without collecting it: the child stays a zombie.
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child.pid()), &info, WEXITED | WNOWAIT), 0);

    ProcessHandle handle = ProcessHandle::open(child.pid(), ProcessHandle::Access::Synchronize);
    ASSERT_TRUE(handle.valid()) << handle.error();
    EXPECT_EQ(handle.wait(0), platform::kWaitObject0);
}

TEST(PosixProcesses, ASynchronizeHandleCannotTerminate)
{
    testsupport::ChildProcess child(testsupport::peerProgram(), {"sleep", "20000"});
    ProcessHandle handle = ProcessHandle::open(child.pid(), ProcessHandle::Access::Synchronize);
    ASSERT_TRUE(handle.valid());
    platform::ErrorCode error = 0;
    EXPECT_FALSE(handle.terminate(0, &error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(EACCES));
    EXPECT_EQ(handle.wait(50), platform::kWaitTimeout);
}

TEST(PosixProcesses, NamesComeFromTheExecutableNotTheShortCommName)
{
    testsupport::TempDir dir;
    const std::string longName = "a-rather-long-client-executable";
    const fs::path copy = fs::path(dir.path()) / longName;
    fs::copy_file(testsupport::peerProgram(), copy);

    testsupport::ChildProcess child(copy.string(), {"sleep", "20000"});
    ASSERT_TRUE(child.started());
    EXPECT_TRUE(testsupport::waitUntil([&] { return nameOf(child.pid()) == longName; }, 5000))
        << nameOf(child.pid());

    // An executable replaced or removed while running keeps its name, without the kernel's
    // " (deleted)" mark.
    fs::remove(copy);
    EXPECT_EQ(nameOf(child.pid()), longName);
}

TEST(ProcessNames, PreferTheExecutableAndRecoverWhatCommCuts)
{
    using platform::posix::processNameFrom;
    EXPECT_EQ(processNameFrom("/opt/orlune/orlune", "whatever", "x"), "orlune");
    EXPECT_EQ(processNameFrom("/opt/orlune/orlune (deleted)", "", ""), "orlune");
    EXPECT_EQ(processNameFrom("/opt/my app/my app", "", ""), "my app");

    // Without the executable link (another user's process, a kernel thread).
    EXPECT_EQ(processNameFrom("", "kthreadd", ""), "kthreadd");
    EXPECT_EQ(processNameFrom("", "orlune", "/usr/bin/orlune"), "orlune");
    EXPECT_EQ(processNameFrom("", "orlunemonitorin", "/opt/o/orlunemonitoringsuite"),
              "orlunemonitoringsuite");
    EXPECT_EQ(processNameFrom("", "orlunemonitorin", "orlunemonitoringsuite"), "orlunemonitoringsuite");
    // argv[0] that does not continue the cut name is not trusted.
    EXPECT_EQ(processNameFrom("", "orlunemonitorin", "/usr/bin/python3"), "orlunemonitorin");
    EXPECT_EQ(processNameFrom("", "short", "/usr/bin/shortened"), "short");
}

} // namespace
