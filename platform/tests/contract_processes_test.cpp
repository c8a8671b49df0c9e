// Process snapshot, executable path, wait and forced end: the same expectations for every backend.

#include "platform/ids.h"
#include "platform/paths.h"
#include "platform/processes.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;
using platform::ProcessHandle;

namespace {

const platform::ProcessEntry *findPid(const std::vector<platform::ProcessEntry> &entries, unsigned long pid)
{
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [pid](const platform::ProcessEntry &entry) { return entry.pid == pid; });
    return found == entries.end() ? nullptr : &*found;
}

TEST(ProcessContract, TheSnapshotListsARunningPeerByItsExecutableName)
{
    testsupport::ChildProcess peer(testsupport::peerProgram(), {"sleep", "20000"});
    ASSERT_TRUE(peer.started());

    std::vector<platform::ProcessEntry> entries;
    platform::ErrorCode error = 0;
    ASSERT_TRUE(platform::snapshotProcesses(entries, error)) << error;
    EXPECT_EQ(error, 0u);

    const platform::ProcessEntry *entry = findPid(entries, peer.pid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->exeName, testsupport::peerExecutableName());
    EXPECT_NE(findPid(entries, platform::currentProcessId()), nullptr);

    peer.kill();
    ASSERT_TRUE(platform::snapshotProcesses(entries, error));
    EXPECT_EQ(findPid(entries, peer.pid()), nullptr);
}

TEST(ProcessContract, WaitTimesOutWhileThePeerRunsAndEndsWhenItExits)
{
    testsupport::ChildProcess peer(testsupport::peerProgram(), {"sleep", "700"});
    ASSERT_TRUE(peer.started());

    ProcessHandle handle = ProcessHandle::open(peer.pid(), ProcessHandle::Access::Synchronize);
    ASSERT_TRUE(handle.valid()) << handle.error();
    EXPECT_EQ(handle.error(), 0u);
    EXPECT_EQ(handle.wait(0), platform::kWaitTimeout);
    EXPECT_EQ(handle.wait(100), platform::kWaitTimeout);
    // Nobody has collected the peer's exit yet: it still counts as ended.
    EXPECT_EQ(handle.wait(20000), platform::kWaitObject0);
    EXPECT_EQ(handle.wait(0), platform::kWaitObject0);

    int exitCode = -1;
    ASSERT_TRUE(peer.waitForExit(5000, &exitCode));
    EXPECT_EQ(exitCode, 0);
}

TEST(ProcessContract, TerminateEndsASleepingPeer)
{
    testsupport::ChildProcess peer(testsupport::peerProgram(), {"sleep", "30000"});
    ASSERT_TRUE(peer.started());

    ProcessHandle watch = ProcessHandle::open(peer.pid(), ProcessHandle::Access::Synchronize);
    ProcessHandle killer = ProcessHandle::open(peer.pid(), ProcessHandle::Access::Terminate);
    ASSERT_TRUE(watch.valid()) << watch.error();
    ASSERT_TRUE(killer.valid()) << killer.error();
    ASSERT_EQ(watch.wait(0), platform::kWaitTimeout);

    platform::ErrorCode error = 0;
    EXPECT_TRUE(killer.terminate(0, &error)) << error;
    EXPECT_EQ(watch.wait(10000), platform::kWaitObject0);
    EXPECT_TRUE(peer.waitForExit(5000));
}

TEST(ProcessContract, OpeningAProcessThatIsGoneFails)
{
    unsigned long gonePid = 0;
    {
        testsupport::ChildProcess peer(testsupport::peerProgram(), {"exit", "0"});
        ASSERT_TRUE(peer.started());
        ASSERT_TRUE(peer.waitForExit(10000));
        gonePid = peer.pid();
    }
    // The system may keep an ended process's object for a moment after its last handle closed.
    ASSERT_TRUE(testsupport::waitUntil(
        [gonePid] { return !ProcessHandle::open(gonePid, ProcessHandle::Access::Synchronize).valid(); },
        5000));
    for (const auto access : {ProcessHandle::Access::Synchronize, ProcessHandle::Access::Terminate}) {
        ProcessHandle handle = ProcessHandle::open(gonePid, access);
        EXPECT_FALSE(handle.valid());
        EXPECT_NE(handle.error(), 0u);
        platform::ErrorCode error = 0;
        EXPECT_EQ(handle.wait(0, &error), platform::kWaitFailed);
        EXPECT_NE(error, 0u);
        EXPECT_FALSE(handle.terminate(0));
    }
}

TEST(ProcessContract, TheStartTimeTellsAProcessFromALaterOneWithItsId)
{
    unsigned long pid = 0;
    std::uint64_t started = 0;
    {
        testsupport::ChildProcess peer(testsupport::peerProgram(), {"sleep", "20000"});
        ASSERT_TRUE(peer.started());
        pid = peer.pid();
        started = platform::processStartTime(pid);
        EXPECT_NE(started, 0u);
        for (const auto access : {ProcessHandle::Access::Synchronize, ProcessHandle::Access::Terminate}) {
            EXPECT_EQ(ProcessHandle::open(pid, access).startTime(), started);
        }
        peer.kill();
    }
    // Gone: no time at all, or another process's under the same id.
    ASSERT_TRUE(testsupport::waitUntil([&] { return platform::processStartTime(pid) != started; }, 5000));
}

TEST(ProcessContract, TheExecutablePathNamesTheProgramInItsFolderUntilTheProcessIsGone)
{
    const std::string program = testsupport::peerProgram();
    const std::string folder = fs::path(program).parent_path().string();
    unsigned long pid = 0;
    {
        testsupport::ChildProcess peer(program, {"sleep", "20000"});
        ASSERT_TRUE(peer.started());
        pid = peer.pid();
        std::string path;
        platform::ErrorCode error = 99;
        ASSERT_TRUE(platform::processExecutablePath(pid, path, error)) << error;
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(fs::path(path).filename().string(), testsupport::peerExecutableName()) << path;
        EXPECT_TRUE(platform::liesInFolder(path, folder)) << path << " in " << folder;
        peer.kill();
    }
    std::string path = "stale";
    platform::ErrorCode error = 0;
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return !platform::processExecutablePath(pid, path, error); }, 5000));
    EXPECT_NE(error, 0u);
    EXPECT_EQ(path, "");
}

TEST(ProcessContract, AFolderIsKnownUnderEverySpellingOfItAndNoOtherIs)
{
    testsupport::TempDir temp;
    const fs::path base(temp.path());
    for (const char *folder : {"app", "app/sub", "app2"})
        fs::create_directories(base / folder);
    const std::string app = (base / "app").string();
    const std::string sep(1, fs::path::preferred_separator);

    EXPECT_TRUE(platform::liesInFolder(app + sep + "prog", app));
    EXPECT_TRUE(platform::liesInFolder(app + "/./prog", app + sep));
    EXPECT_TRUE(platform::liesInFolder(app + "/sub/../prog", (base / "app2" / ".." / "app").string()));
    // Letter case tells folders apart exactly where the file system does.
    const bool systemIgnoresCase = fs::exists(base / "APP");
    EXPECT_EQ(platform::liesInFolder((base / "APP" / "prog").string(), app), systemIgnoresCase);

    EXPECT_FALSE(platform::liesInFolder((base / "app2" / "prog").string(), app))
        << "a name that begins alike";
    EXPECT_FALSE(platform::liesInFolder((base / "app" / "sub" / "prog").string(), app)) << "a folder inside";
    EXPECT_FALSE(platform::liesInFolder((base / "prog").string(), app)) << "the folder above";
    EXPECT_FALSE(platform::liesInFolder((base / "gone" / "prog").string(), (base / "gone").string()));
}

} // namespace
