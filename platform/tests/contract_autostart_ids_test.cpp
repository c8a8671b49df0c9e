// Autostart entry removal and process/thread ids: the same expectations for every backend.

#include "platform/autostart.h"
#include "platform/ids.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

using AutostartOutcome = platform::AutostartRemoval::Outcome;

TEST(AutostartContract, AnEntryIsRemovedOnceThenReportedAbsent)
{
    testsupport::IsolatedEnvironment env;
    const std::string name = testsupport::uniqueName("Orlune") + "_DizovuvOdiv";
    ASSERT_TRUE(testsupport::createAutostartEntry(name));

    const platform::AutostartRemoval first = platform::removeAutostartEntry(name);
    EXPECT_EQ(first.outcome, AutostartOutcome::Removed);
    EXPECT_EQ(first.error, 0u);

    const platform::AutostartRemoval second = platform::removeAutostartEntry(name);
    EXPECT_EQ(second.outcome, AutostartOutcome::Absent);
    EXPECT_EQ(second.error, 0u);
    EXPECT_EQ(platform::removeAutostartEntry(testsupport::uniqueName("Never")).outcome,
              AutostartOutcome::Absent);
}

TEST(AutostartContract, OnlyTheNamedEntryIsRemoved)
{
    testsupport::IsolatedEnvironment env;
    const std::string keep = testsupport::uniqueName("Keep");
    const std::string drop = testsupport::uniqueName("Drop");
    ASSERT_TRUE(testsupport::createAutostartEntry(keep));
    ASSERT_TRUE(testsupport::createAutostartEntry(drop));

    EXPECT_EQ(platform::removeAutostartEntry(drop).outcome, AutostartOutcome::Removed);
    EXPECT_EQ(platform::removeAutostartEntry(keep).outcome, AutostartOutcome::Removed);
}

TEST(IdsContract, TheProcessIdIsWhatOtherProcessesSee)
{
    testsupport::Peer peer;
    EXPECT_EQ(peer.run("pid"), std::to_string(peer.process().pid()));
    EXPECT_NE(platform::currentProcessId(), peer.process().pid());
}

TEST(IdsContract, EveryThreadHasItsOwnStableId)
{
    const unsigned long mine = platform::currentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(platform::currentThreadId(), mine);

    std::vector<unsigned long> ids(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ids.size(); ++i)
        threads.emplace_back([&ids, i] { ids[i] = platform::currentThreadId(); });
    for (std::thread &thread : threads)
        thread.join();

    std::set<unsigned long> distinct(ids.begin(), ids.end());
    distinct.insert(mine);
    EXPECT_EQ(distinct.size(), ids.size() + 1);
}

} // namespace
