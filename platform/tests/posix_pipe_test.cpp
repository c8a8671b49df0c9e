// Linux specifics of the pipe client: errno values, the bounded wait for a full backlog, no
// SIGPIPE, and socket paths that had to be shortened.

#include "platform/pipe.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using platform::PipeConnection;
using Mode = testsupport::TestPipeServer::Mode;

namespace {

const std::string kRequest = "{\"cmd\":\"STOP_SERVICE\"}\n";

class PosixPipe : public ::testing::Test {
protected:
    testsupport::IsolatedEnvironment env;
    const std::string path = "\\\\.\\pipe\\" + testsupport::uniqueName("pipe");

    // A listening socket at the pipe's place with its backlog taken by one unaccepted client.
    int fullListener(int &filler) const
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string socketPath = platform::localServerNameForPipe(path);
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener, 0), 0);
        filler = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        EXPECT_EQ(::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        return listener;
    }
};

TEST_F(PosixPipe, ASocketNobodyListensOnIsNoPipe)
{
    int filler = -1;
    const int listener = fullListener(filler);
    platform::ErrorCode error = 0;
    EXPECT_TRUE(platform::waitForPipe(path, 600, error));
    ::close(filler);
    ::close(listener); // the socket file stays behind, as after a crashed service

    // Counted like a missing pipe, so the caller waits and sleeps as it does for one.
    EXPECT_FALSE(platform::waitForPipe(path, 600, error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ENOENT));
    PipeConnection connection = PipeConnection::open(path);
    EXPECT_FALSE(connection.valid());
    EXPECT_EQ(connection.error(), static_cast<platform::ErrorCode>(ENOENT));

    // A service may bind elsewhere and move its socket into place; that one is served.
    const std::string socketPath = platform::localServerNameForPipe(path);
    ASSERT_EQ(std::remove(socketPath.c_str()), 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string staging = socketPath + ".new";
    std::copy(staging.begin(), staging.end(), address.sun_path);
    const int moved = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(moved, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(moved, 4), 0);
    ASSERT_EQ(std::rename(staging.c_str(), socketPath.c_str()), 0);
    EXPECT_TRUE(platform::waitForPipe(path, 600, error)) << error;
    ::close(moved);
}

TEST_F(PosixPipe, SomethingElseAtThePipesPlaceIsNoPipe)
{
    std::ofstream(platform::localServerNameForPipe(path)) << "not a socket";
    platform::ErrorCode error = 0;
    EXPECT_FALSE(platform::waitForPipe(path, 600, error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ENOENT));
    EXPECT_FALSE(PipeConnection::open(path).valid());
}

TEST_F(PosixPipe, AFullBacklogIsWaitedOutForAtMostTheConnectBudget)
{
    int filler = -1;
    const int listener = fullListener(filler);

    const auto start = std::chrono::steady_clock::now();
    PipeConnection refused = PipeConnection::open(path);
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_FALSE(refused.valid());
    EXPECT_EQ(refused.error(), static_cast<platform::ErrorCode>(EAGAIN));
    EXPECT_GE(waited, 550);
    EXPECT_LT(waited, 5000);

    // Room that opens up within the budget is taken.
    std::thread accepter([listener] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const int accepted = ::accept(listener, nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(accepted);
    });
    PipeConnection admitted = PipeConnection::open(path);
    accepter.join();
    EXPECT_TRUE(admitted.valid()) << admitted.error();

    ::close(filler);
    ::close(listener);
}

TEST_F(PosixPipe, ATimedOutReadReportsEtimedout)
{
    testsupport::TestPipeServer server(path, Mode::NeverAnswer);
    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid());
    char buffer[64];
    const PipeConnection::ReadResult read = connection.read(buffer, sizeof buffer, 50);
    EXPECT_TRUE(read.timedOut);
    EXPECT_EQ(read.error, static_cast<platform::ErrorCode>(ETIMEDOUT));
}

TEST_F(PosixPipe, WritingToAServiceThatWentAwayFailsWithoutSigpipe)
{
    // Default SIGPIPE disposition, so a missing MSG_NOSIGNAL would end this test process.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    {
        testsupport::TestPipeServer server(path, Mode::CloseWithoutWriting);
        PipeConnection connection = PipeConnection::open(path);
        ASSERT_TRUE(connection.valid());
        platform::ErrorCode error = 0;
        ASSERT_TRUE(connection.write(kRequest.data(), kRequest.size(), error));
        char buffer[16];
        ASSERT_EQ(connection.read(buffer, sizeof buffer, 5000).bytes, 0u); // closed by now

        EXPECT_FALSE(connection.write(kRequest.data(), kRequest.size(), error));
        EXPECT_EQ(error, static_cast<platform::ErrorCode>(EPIPE));
    }
    std::signal(SIGPIPE, previous);
}

TEST_F(PosixPipe, AShortenedSocketPathStillServesAnExchange)
{
    const std::string longPath = path + std::string(150, 'L');
    const std::string socketPath = platform::localServerNameForPipe(longPath);
    EXPECT_LT(socketPath.size(), sizeof(sockaddr_un::sun_path));
    EXPECT_NE(socketPath.find('~'), std::string::npos);

    testsupport::TestPipeServer server(longPath, Mode::Answer, "{\"ret\":0}");
    ASSERT_TRUE(server.listening());
    PipeConnection connection = PipeConnection::open(longPath);
    ASSERT_TRUE(connection.valid()) << connection.error();
    platform::ErrorCode error = 0;
    ASSERT_TRUE(connection.write(kRequest.data(), kRequest.size(), error));
    char buffer[64];
    const PipeConnection::ReadResult read = connection.read(buffer, sizeof buffer, 5000);
    EXPECT_EQ(std::string(buffer, read.bytes), "{\"ret\":0}");
}

} // namespace
