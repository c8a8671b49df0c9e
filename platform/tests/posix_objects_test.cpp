// Linux specifics of the named mutex and events: error codes, file modes, stale state and
// handles that must not leak into child processes.

#include "../posix/runtimedir.h"

#include "platform/namedevent.h"
#include "platform/namedmutex.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include <sys/stat.h>

using platform::NamedEvent;
using platform::SingleInstanceMutex;

namespace {

class PosixObjects : public ::testing::Test {
protected:
    testsupport::IsolatedEnvironment env;
    const std::string name = "Local\\" + testsupport::uniqueName("object");
    std::string file() const { return platform::posix::objectPath(name).path; }

    std::string fileContent() const
    {
        std::ifstream in(file(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    mode_t fileMode() const
    {
        struct stat st {};
        return ::stat(file().c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
};

TEST_F(PosixObjects, ErrorCodesAreErrnoValues)
{
    SingleInstanceMutex owner = SingleInstanceMutex::create(name);
    SingleInstanceMutex second = SingleInstanceMutex::create(name);
    EXPECT_EQ(second.state(), SingleInstanceMutex::State::AlreadyExists);
    EXPECT_EQ(second.error(), static_cast<platform::ErrorCode>(EEXIST));

    const std::string eventName = name + "_event";
    EXPECT_EQ(NamedEvent::open(eventName, NamedEvent::Access::Modify).error(),
              static_cast<platform::ErrorCode>(ENOENT));
    NamedEvent event = NamedEvent::create(eventName, NamedEvent::Security::Default);
    NamedEvent watcher = NamedEvent::open(eventName, NamedEvent::Access::Synchronize);
    platform::ErrorCode error = 0;
    EXPECT_FALSE(watcher.set(&error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(EACCES));
}

TEST_F(PosixObjects, AnOwnerKeepsTheNameWhenItsDirectoryIsDeleted)
{
    SingleInstanceMutex owner = SingleInstanceMutex::create(name);
    ASSERT_EQ(owner.state(), SingleInstanceMutex::State::Owned);
    const std::string directory = platform::posix::runtimeDirectory().path;
    ASSERT_EQ(std::system(("rm -rf '" + directory + "'").c_str()), 0);

    SingleInstanceMutex second = SingleInstanceMutex::create(name);
    EXPECT_EQ(second.state(), SingleInstanceMutex::State::AlreadyExists);
    second.release();
    // Other names, and the name itself once its owner lets go, are free as before.
    EXPECT_EQ(SingleInstanceMutex::create(name + "_other").state(), SingleInstanceMutex::State::Owned);
    owner.release();
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), SingleInstanceMutex::State::Owned);
}

TEST_F(PosixObjects, EventModeFollowsTheSecurityWhateverTheUmask)
{
    const mode_t oldMask = ::umask(077);
    {
        NamedEvent open = NamedEvent::create(name, NamedEvent::Security::AnyLocalUserMaySet);
        ASSERT_TRUE(open.valid());
        EXPECT_EQ(fileMode(), 0666u);
    }
    ::umask(0);
    {
        NamedEvent closed = NamedEvent::create(name, NamedEvent::Security::Default);
        ASSERT_TRUE(closed.valid());
        EXPECT_EQ(fileMode(), 0600u);
        // Joining a live event keeps its creator's choice.
        NamedEvent joined = NamedEvent::create(name, NamedEvent::Security::AnyLocalUserMaySet);
        EXPECT_EQ(fileMode(), 0600u);
    }
    ::umask(oldMask);
}

TEST_F(PosixObjects, AStaleSignalledStateIsNotAnEvent)
{
    {
        testsupport::Peer tray("event-create default " + name);
        ASSERT_EQ(tray.result(1), "ok");
        ASSERT_EQ(tray.run("event-set"), "ok");
        tray.process().kill();
    }
    // The file still says signalled, but nobody holds it any more.
    ASSERT_EQ(fileContent(), "1");
    NamedEvent launcher = NamedEvent::open(name, NamedEvent::Access::Synchronize);
    EXPECT_FALSE(launcher.valid());
    EXPECT_EQ(launcher.error(), static_cast<platform::ErrorCode>(ENOENT));
    EXPECT_EQ(fileContent(), "1"); // a failed open changes nothing

    NamedEvent tray = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(tray.valid());
    EXPECT_EQ(tray.poll(), NamedEvent::WaitResult::NotSignalled);
    EXPECT_EQ(fileContent(), "0");
}

TEST_F(PosixObjects, ChildProcessesDoNotInheritTheObjects)
{
    SingleInstanceMutex mutex = SingleInstanceMutex::create(name);
    NamedEvent event = NamedEvent::create(name + "_event", NamedEvent::Security::Default);
    ASSERT_EQ(mutex.state(), SingleInstanceMutex::State::Owned);
    ASSERT_TRUE(event.valid());

    // A command round trip: the child has certainly finished exec (and closed what it should).
    testsupport::Peer child;
    ASSERT_EQ(child.run("pid"), std::to_string(child.process().pid()));
    mutex.release();
    event.close();

    EXPECT_EQ(SingleInstanceMutex::create(name).state(), SingleInstanceMutex::State::Owned);
    EXPECT_EQ(NamedEvent::open(name + "_event", NamedEvent::Access::Synchronize).error(),
              static_cast<platform::ErrorCode>(ENOENT));
}

TEST_F(PosixObjects, ANameTakenByAnotherKindOfFileIsRefused)
{
    ASSERT_TRUE(platform::posix::runtimeDirectory().ok());
    ASSERT_EQ(::mkdir(file().c_str(), 0700), 0);
    EXPECT_FALSE(NamedEvent::create(name, NamedEvent::Security::Default).valid());
    EXPECT_FALSE(NamedEvent::open(name, NamedEvent::Access::Modify).valid());
    EXPECT_EQ(SingleInstanceMutex::create(name).state(), SingleInstanceMutex::State::Failed);
}

} // namespace
