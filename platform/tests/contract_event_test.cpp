// Named manual-reset events between processes: the same expectations for every backend.

#include "platform/namedevent.h"

#include "testsupport.h"

#include <gtest/gtest.h>

using platform::NamedEvent;
using Result = NamedEvent::WaitResult;

namespace {

constexpr platform::ErrorCode kNotFound = 2;

class EventContract : public ::testing::Test {
protected:
    testsupport::IsolatedEnvironment env;
    const std::string name = "Local\\" + testsupport::uniqueName("event");
};

TEST_F(EventContract, OpeningAMissingEventFailsWithNotFound)
{
    for (const auto access : {NamedEvent::Access::Synchronize, NamedEvent::Access::Modify}) {
        NamedEvent event = NamedEvent::open(name, access);
        EXPECT_FALSE(event.valid());
        EXPECT_EQ(event.error(), kNotFound);
        EXPECT_EQ(event.poll(), Result::Failed);
    }
}

TEST_F(EventContract, CreatorSetsAndAnotherProcessSeesIt)
{
    NamedEvent event = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(event.valid());
    EXPECT_EQ(event.error(), 0u);
    EXPECT_EQ(event.poll(), Result::NotSignalled);

    testsupport::Peer client;
    ASSERT_EQ(client.run("event-open sync " + name), "ok");
    EXPECT_EQ(client.run("event-poll"), "not-signalled");

    ASSERT_TRUE(event.set());
    EXPECT_EQ(event.poll(), Result::Signalled);
    EXPECT_EQ(client.run("event-poll"), "signalled");
    // Manual reset: polling does not consume the signal.
    EXPECT_EQ(client.run("event-poll"), "signalled");

    ASSERT_TRUE(event.reset());
    EXPECT_EQ(client.run("event-poll"), "not-signalled");
}

TEST_F(EventContract, AnotherProcessMaySetAnEventOpenedForModifying)
{
    NamedEvent event = NamedEvent::create(name, NamedEvent::Security::AnyLocalUserMaySet);
    ASSERT_TRUE(event.valid());

    testsupport::Peer setter;
    ASSERT_EQ(setter.run("event-open modify " + name), "ok");
    ASSERT_EQ(setter.run("event-set"), "ok");
    EXPECT_EQ(event.poll(), Result::Signalled);
    ASSERT_EQ(setter.run("event-reset"), "ok");
    EXPECT_EQ(event.poll(), Result::NotSignalled);
}

TEST_F(EventContract, EventCreatedByAnotherProcessCanBeOpenedHere)
{
    testsupport::Peer creator("event-create default " + name);
    ASSERT_EQ(creator.result(1), "ok");

    NamedEvent event = NamedEvent::open(name, NamedEvent::Access::Modify);
    ASSERT_TRUE(event.valid()) << event.error();
    EXPECT_EQ(event.poll(), Result::NotSignalled);
    ASSERT_TRUE(event.set());
    EXPECT_EQ(creator.run("event-poll"), "signalled");
}

TEST_F(EventContract, ASynchronizeOnlyHandleCannotSetOrReset)
{
    NamedEvent owner = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(owner.valid());
    NamedEvent watcher = NamedEvent::open(name, NamedEvent::Access::Synchronize);
    ASSERT_TRUE(watcher.valid());

    platform::ErrorCode error = 0;
    EXPECT_FALSE(watcher.set(&error));
    EXPECT_NE(error, 0u);
    EXPECT_EQ(owner.poll(), Result::NotSignalled);

    ASSERT_TRUE(owner.set());
    error = 0;
    EXPECT_FALSE(watcher.reset(&error));
    EXPECT_NE(error, 0u);
    EXPECT_EQ(watcher.poll(), Result::Signalled);
}

TEST_F(EventContract, ASecondCreateJoinsTheEventAndKeepsItsState)
{
    NamedEvent first = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(first.set());

    NamedEvent here = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(here.valid());
    EXPECT_EQ(here.poll(), Result::Signalled);

    testsupport::Peer other;
    ASSERT_EQ(other.run("event-create anyuser " + name), "ok");
    EXPECT_EQ(other.run("event-poll"), "signalled");
    ASSERT_EQ(other.run("event-reset"), "ok");
    EXPECT_EQ(first.poll(), Result::NotSignalled);
}

TEST_F(EventContract, EventEndsWithItsLastHandle)
{
    testsupport::Peer creator("event-create default " + name);
    ASSERT_EQ(creator.result(1), "ok");
    ASSERT_EQ(creator.run("event-set"), "ok");
    {
        NamedEvent visitor = NamedEvent::open(name, NamedEvent::Access::Synchronize);
        ASSERT_TRUE(visitor.valid());
    }
    ASSERT_EQ(creator.run("event-close"), "ok");

    NamedEvent late = NamedEvent::open(name, NamedEvent::Access::Synchronize);
    EXPECT_FALSE(late.valid());
    EXPECT_EQ(late.error(), kNotFound);

    // A new event of the same name starts afresh, not signalled.
    NamedEvent fresh = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(fresh.valid());
    EXPECT_EQ(fresh.poll(), Result::NotSignalled);
}

TEST_F(EventContract, ASignalledEventOfACrashedCreatorDoesNotSurvive)
{
    {
        testsupport::Peer creator("event-create default " + name);
        ASSERT_EQ(creator.result(1), "ok");
        ASSERT_EQ(creator.run("event-set"), "ok");
        creator.process().kill();
    }
    EXPECT_EQ(NamedEvent::open(name, NamedEvent::Access::Synchronize).error(), kNotFound);
    NamedEvent fresh = NamedEvent::create(name, NamedEvent::Security::Default);
    EXPECT_EQ(fresh.poll(), Result::NotSignalled);
}

TEST_F(EventContract, AnInvalidEventRefusesEverything)
{
    NamedEvent none;
    EXPECT_FALSE(none.valid());
    platform::ErrorCode error = 0;
    EXPECT_FALSE(none.set(&error));
    EXPECT_NE(error, 0u);
    EXPECT_EQ(none.poll(), Result::Failed);

    NamedEvent closed = NamedEvent::create(name, NamedEvent::Security::Default);
    closed.close();
    EXPECT_FALSE(closed.valid());
    EXPECT_FALSE(closed.reset());
}

TEST_F(EventContract, DistinctNamesAreDistinctEvents)
{
    NamedEvent a = NamedEvent::create(name + "_a", NamedEvent::Security::Default);
    NamedEvent b = NamedEvent::create(name + "_b", NamedEvent::Security::Default);
    ASSERT_TRUE(a.set());
    EXPECT_EQ(b.poll(), Result::NotSignalled);
}

} // namespace
