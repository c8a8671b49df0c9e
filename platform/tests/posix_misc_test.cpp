// Linux specifics: termination requests, the systemctl commands and their judgement, the
// autostart entry's directory, and the modes of log folders.

#include "platform/autostart.h"
#include "platform/logfile.h"
#include "platform/servicecommands.h"
#include "platform/termination.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool readable(int fd, int timeoutMs)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1;
}

void drain(int fd)
{
    char buffer[64];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

mode_t modeOf(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(LogFiles, EveryLevelMadeIsWritableByItsUserOnlyAndAFifoDoesNotBlock)
{
    testsupport::TempDir base;
    const std::string folder = base.path() + "/made/here";
    platform::ErrorCode error = 0;
    const mode_t oldMask = ::umask(0);
    const bool made = platform::makeLogDirectory(folder, error);
    ::umask(oldMask);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(modeOf(base.path() + "/made"), 0755u);
    EXPECT_EQ(modeOf(folder), 0755u);

    // Opening a FIFO for writing would wait for a reader; it is refused at once instead.
    ASSERT_EQ(::mkfifo((folder + "/fifo.log").c_str(), 0600), 0);
    EXPECT_EQ(platform::openLogFile(folder + "/fifo.log", error), nullptr);
    // A sticky folder anyone may write to is not safe either, unless it is ours.
    ::chmod(folder.c_str(), 01777);
    EXPECT_TRUE(platform::isSafeLogDirectory(folder));
    if (::chown(folder.c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    EXPECT_FALSE(platform::isSafeLogDirectory(folder));
}

TEST(Termination, EachRequestSignalMakesTheDescriptorReadable)
{
    const int fd = platform::terminationRequestFd();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(platform::terminationRequestFd(), fd);
    drain(fd);
    EXPECT_FALSE(readable(fd, 0));

    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(::raise(signal), 0); // the process survives: the handler only records it
        EXPECT_TRUE(readable(fd, 1000));
        drain(fd);
        EXPECT_FALSE(readable(fd, 0));
    }
}

TEST(Termination, AFloodOfSignalsNeverBlocks)
{
    const int fd = platform::terminationRequestFd();
    for (int i = 0; i < 100000; ++i)
        ::raise(SIGTERM);
    EXPECT_TRUE(readable(fd, 0));
    drain(fd);
}

TEST(ServiceCommands, UseSystemctlWithTheNameAfterTheOptions)
{
    const platform::Command query = platform::serviceQueryCommand("-Orlune_Server");
    EXPECT_EQ(query.program, "systemctl");
    ASSERT_GE(query.arguments.size(), 3u);
    EXPECT_EQ(query.arguments.front(), "show");
    EXPECT_EQ(query.arguments[query.arguments.size() - 2], "--");
    EXPECT_EQ(query.arguments.back(), "-Orlune_Server");

    const platform::Command start = platform::serviceStartCommand("Orlune_Server");
    EXPECT_EQ(start.program, "systemctl");
    EXPECT_EQ(start.arguments.front(), "start");
    EXPECT_EQ(start.arguments[start.arguments.size() - 2], "--");
    EXPECT_EQ(start.arguments.back(), "Orlune_Server");
}

TEST(ServiceCommands, RunningMeansTheNameAndARunningSubState)
{
    const std::string running = "Id=Orlune_Server.service\nActiveState=active\nSubState=running\n";
    EXPECT_TRUE(platform::serviceQueryOutputMeansRunning(running, "Orlune_Server"));
    EXPECT_TRUE(platform::serviceQueryOutputMeansRunning(
        "Id=Orlune_Server.service\r\nActiveState=active\r\nSubState=running\r\n", "Orlune_Server"));
    EXPECT_TRUE(platform::serviceQueryOutputMeansRunning("SubState=running\nId=Orlune_Server.service",
                                                         "Orlune_Server"));

    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(running, "Other_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(running, "orlune_server")); // case matters
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(running, ""));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(
        "Id=Orlune_Server.service\nActiveState=inactive\nSubState=dead\n", "Orlune_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(
        "Id=Orlune_Server.service\nActiveState=active\nSubState=RUNNING\n", "Orlune_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(
        "Id=Orlune_Server.service\nDescription=SubState=running\n", "Orlune_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning("", "Orlune_Server"));
}

class PosixAutostart : public ::testing::Test {
protected:
    using Outcome = platform::AutostartRemoval::Outcome;
    testsupport::TempDir config;
    testsupport::ScopedEnv variable{"XDG_CONFIG_HOME", config.path().c_str()};
    const std::string autostart = config.path() + "/autostart";
};

TEST_F(PosixAutostart, AMissingDirectoryHoldsNoEntry)
{
    EXPECT_EQ(platform::removeAutostartEntry("Orlune_DizovuvOdiv").outcome, Outcome::Absent);
    EXPECT_FALSE(fs::exists(autostart));
}

TEST_F(PosixAutostart, ADirectoryThatIsNoDirectoryCannotBeOpened)
{
    std::ofstream(autostart) << "x";
    const platform::AutostartRemoval removal = platform::removeAutostartEntry("Orlune_DizovuvOdiv");
    EXPECT_EQ(removal.outcome, Outcome::OpenFailed);
    EXPECT_EQ(removal.error, static_cast<platform::ErrorCode>(ENOTDIR));
}

TEST_F(PosixAutostart, TheEntryIsTheDesktopFileOfThatName)
{
    fs::create_directory(autostart);
    std::ofstream(autostart + "/Orlune_DizovuvOdiv.desktop") << "[Desktop Entry]\n";
    std::ofstream(autostart + "/Other.desktop") << "[Desktop Entry]\n";
    EXPECT_EQ(platform::removeAutostartEntry("Orlune_DizovuvOdiv").outcome, Outcome::Removed);
    EXPECT_FALSE(fs::exists(autostart + "/Orlune_DizovuvOdiv.desktop"));
    EXPECT_TRUE(fs::exists(autostart + "/Other.desktop"));
}

TEST_F(PosixAutostart, ANameCannotReachOutsideTheDirectory)
{
    fs::create_directory(autostart);
    std::ofstream(config.path() + "/victim.desktop") << "keep";
    EXPECT_EQ(platform::removeAutostartEntry("../victim").outcome, Outcome::Absent);
    EXPECT_TRUE(fs::exists(config.path() + "/victim.desktop"));

    std::ofstream(autostart + "/..%2Fvictim.desktop") << "encoded";
    EXPECT_EQ(platform::removeAutostartEntry("../victim").outcome, Outcome::Removed);
    EXPECT_TRUE(fs::exists(config.path() + "/victim.desktop"));
}

TEST_F(PosixAutostart, WithoutXdgConfigHomeTheHomeConfigIsUsed)
{
    testsupport::TempDir home;
    testsupport::ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
    testsupport::ScopedEnv homeVariable("HOME", home.path().c_str());
    fs::create_directories(home.path() + "/.config/autostart");
    std::ofstream(home.path() + "/.config/autostart/Orlune_DizovuvOdiv.desktop") << "[Desktop Entry]\n";
    EXPECT_EQ(platform::removeAutostartEntry("Orlune_DizovuvOdiv").outcome, Outcome::Removed);
    EXPECT_FALSE(fs::exists(home.path() + "/.config/autostart/Orlune_DizovuvOdiv.desktop"));
}

} // namespace
