// Single-instance mutex across processes: the same expectations for every backend.

#include "platform/namedmutex.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using platform::SingleInstanceMutex;
using State = SingleInstanceMutex::State;

namespace {

class MutexContract : public ::testing::Test {
protected:
    testsupport::IsolatedEnvironment env;
    const std::string name = "Local\\" + testsupport::uniqueName("mutex");
};

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST_F(MutexContract, FirstCreateOwnsAndOthersSeeAlreadyExistsUntilReleased)
{
    SingleInstanceMutex mine = SingleInstanceMutex::create(name);
    ASSERT_EQ(mine.state(), State::Owned);
    EXPECT_EQ(mine.error(), 0u);

    testsupport::Peer second;
    const std::string seen = second.run("mutex-create " + name);
    EXPECT_TRUE(startsWith(seen, "exists ")) << seen;
    EXPECT_NE(seen, "exists 0");

    // Also within one process a second create is not an owner.
    SingleInstanceMutex again = SingleInstanceMutex::create(name);
    EXPECT_EQ(again.state(), State::AlreadyExists);
    EXPECT_NE(again.error(), 0u);
    again.release();

    mine.release();
    mine.release(); // idempotent
    // On Windows any open handle keeps the name in existence, owned or not.
    EXPECT_EQ(second.run("mutex-release"), "ok");
    testsupport::Peer third;
    EXPECT_EQ(third.run("mutex-create " + name), "owned");
}

TEST_F(MutexContract, ReleasingANonOwningHandleLeavesTheOwnerInPlace)
{
    testsupport::Peer owner("mutex-create " + name);
    ASSERT_EQ(owner.result(1), "owned");

    SingleInstanceMutex loser = SingleInstanceMutex::create(name);
    ASSERT_EQ(loser.state(), State::AlreadyExists);
    loser.release();

    EXPECT_EQ(SingleInstanceMutex::create(name).state(), State::AlreadyExists);
}

TEST_F(MutexContract, FreeAgainWhenTheOwnerReleasesWhileStillRunning)
{
    testsupport::Peer owner("mutex-create " + name);
    ASSERT_EQ(owner.result(1), "owned");
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), State::AlreadyExists);

    ASSERT_EQ(owner.run("mutex-release"), "ok");
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), State::Owned);
}

TEST_F(MutexContract, FreeAgainWhenTheOwnerDiesWithoutReleasing)
{
    testsupport::Peer owner("mutex-create " + name);
    ASSERT_EQ(owner.result(1), "owned");
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), State::AlreadyExists);

    owner.process().kill();
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), State::Owned);
}

TEST_F(MutexContract, ExactlyOneOfTenRacingProcessesOwns)
{
    std::vector<std::unique_ptr<testsupport::Peer>> peers;
    for (int i = 0; i < 10; ++i)
        peers.push_back(std::make_unique<testsupport::Peer>("mutex-create " + name));

    int owners = 0;
    for (auto &peer : peers) {
        const std::string result = peer->result(1);
        if (result == "owned")
            ++owners;
        else
            EXPECT_TRUE(startsWith(result, "exists ")) << result;
    }
    EXPECT_EQ(owners, 1);
}

TEST_F(MutexContract, DifferentNamesDoNotMeet)
{
    SingleInstanceMutex first = SingleInstanceMutex::create(name);
    SingleInstanceMutex other = SingleInstanceMutex::create(name + "_other");
    EXPECT_EQ(first.state(), State::Owned);
    EXPECT_EQ(other.state(), State::Owned);
}

TEST_F(MutexContract, MovingKeepsOwnershipInOneHandle)
{
    SingleInstanceMutex original = SingleInstanceMutex::create(name);
    ASSERT_EQ(original.state(), State::Owned);
    SingleInstanceMutex moved = std::move(original);
    original.release(); // the moved-from handle owns nothing any more
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), State::AlreadyExists);

    moved.release();
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), State::Owned);
}

} // namespace
