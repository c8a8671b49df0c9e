// Process snapshot, handles, waits and termination on the Win32 backend.
#include "platform/ids.h"
#include "platform/processes.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>

using platform::ProcessHandle;
using testsupport::ChildProcess;

namespace {

const platform::ProcessEntry *findPid(const std::vector<platform::ProcessEntry> &entries, unsigned long pid)
{
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [pid](const platform::ProcessEntry &entry) { return entry.pid == pid; });
    return found == entries.end() ? nullptr : &*found;
}

std::unique_ptr<ChildProcess> sleepingPeer(int sleepMs)
{
    return std::make_unique<ChildProcess>(testsupport::peerProgram(),
                                          std::vector<std::string>{"sleep", std::to_string(sleepMs)});
}

} // namespace

TEST(Win32Processes, SnapshotListsThisProcessAndAChildByExecutableName)
{
    EXPECT_EQ(sizeof(PROCESSENTRY32W), 568u);

    const auto child = sleepingPeer(60000);
    ASSERT_TRUE(child->started());
    std::vector<platform::ProcessEntry> entries{{1, "stale"}};
    platform::ErrorCode error = 99;
    ASSERT_TRUE(platform::snapshotProcesses(entries, error));
    EXPECT_EQ(error, 0u);

    const platform::ProcessEntry *self = findPid(entries, platform::currentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->exeName, "platform_tests.exe") << "file name only, no directory";
    const platform::ProcessEntry *peer = findPid(entries, child->pid());
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->exeName, testsupport::peerExecutableName());
    EXPECT_TRUE(std::none_of(entries.begin(), entries.end(), [](const platform::ProcessEntry &entry) {
        return entry.exeName == "stale";
    })) << "earlier contents are replaced";
}

TEST(Win32Processes, IdsAreTheSystemsOwn)
{
    EXPECT_EQ(platform::currentProcessId(), GetCurrentProcessId());
    EXPECT_EQ(platform::currentThreadId(), GetCurrentThreadId());
}

TEST(Win32Processes, OpeningANonexistentProcessFailsWithInvalidParameter)
{
    // Process ids are multiples of four; this one is never handed out.
    ProcessHandle process = ProcessHandle::open(0xFFFFFFF1ul, ProcessHandle::Access::Synchronize);
    EXPECT_FALSE(process.valid());
    EXPECT_EQ(process.error(), 87u);
}

TEST(Win32Processes, WaitTimesOutOnARunningChildAndSeesItEnd)
{
    const auto child = sleepingPeer(300);
    ASSERT_TRUE(child->started());
    ProcessHandle process = ProcessHandle::open(child->pid(), ProcessHandle::Access::Synchronize);
    ASSERT_TRUE(process.valid()) << process.error();
    EXPECT_EQ(process.wait(0), platform::kWaitTimeout);
    EXPECT_EQ(process.wait(20000), platform::kWaitObject0);
    int exitCode = -1;
    ASSERT_TRUE(child->waitForExit(0, &exitCode));
    EXPECT_EQ(exitCode, 0);
}

TEST(Win32Processes, TerminateEndsAChildWithTheGivenCode)
{
    const auto child = sleepingPeer(60000);
    ASSERT_TRUE(child->started());
    ProcessHandle watcher = ProcessHandle::open(child->pid(), ProcessHandle::Access::Synchronize);
    ProcessHandle killer = ProcessHandle::open(child->pid(), ProcessHandle::Access::Terminate);
    ASSERT_TRUE(watcher.valid()) << watcher.error();
    ASSERT_TRUE(killer.valid()) << killer.error();

    platform::ErrorCode error = 0;
    EXPECT_TRUE(killer.terminate(42, &error)) << error;
    EXPECT_EQ(watcher.wait(20000), platform::kWaitObject0);
    int exitCode = -1;
    ASSERT_TRUE(child->waitForExit(0, &exitCode));
    EXPECT_EQ(exitCode, 42);
}

TEST(Win32Processes, EachHandleHasOnlyTheRightItWasOpenedWith)
{
    const auto child = sleepingPeer(60000);
    ASSERT_TRUE(child->started());
    ProcessHandle watcher = ProcessHandle::open(child->pid(), ProcessHandle::Access::Synchronize);
    ProcessHandle killer = ProcessHandle::open(child->pid(), ProcessHandle::Access::Terminate);
    ASSERT_TRUE(watcher.valid() && killer.valid());

    platform::ErrorCode error = 0;
    EXPECT_FALSE(watcher.terminate(0, &error));
    EXPECT_EQ(error, 5u);
    error = 0;
    EXPECT_EQ(killer.wait(0, &error), platform::kWaitFailed);
    EXPECT_EQ(error, 5u);
    EXPECT_FALSE(child->waitForExit(0)) << "a refused terminate leaves it running";
}

TEST(Win32Processes, ClosedHandleFailsWithInvalidHandle)
{
    ProcessHandle process = ProcessHandle::open(GetCurrentProcessId(), ProcessHandle::Access::Terminate);
    ASSERT_TRUE(process.valid());
    ProcessHandle moved = std::move(process);
    moved.close();
    platform::ErrorCode error = 0;
    EXPECT_EQ(moved.wait(0, &error), platform::kWaitFailed);
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ERROR_INVALID_HANDLE));
    error = 0;
    EXPECT_FALSE(moved.terminate(0, &error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ERROR_INVALID_HANDLE));
}
