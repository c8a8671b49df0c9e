// Process snapshot, wait and forced end: the same expectations for every backend.

#include "platform/ids.h"
#include "platform/processes.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

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

} // namespace
