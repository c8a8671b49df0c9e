// Client side of the service pipe against a small in-test service: the same expectations for
// every backend.

#include "platform/pipe.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using platform::PipeConnection;
using Mode = testsupport::TestPipeServer::Mode;

namespace {

constexpr platform::ErrorCode kNotFound = 2;
const std::string kRequest = "{\"cmd\":\"GET_STATUS\"}\n";

class PipeContract : public ::testing::Test {
protected:
    testsupport::IsolatedEnvironment env;
    const std::string path = "\\\\.\\pipe\\" + testsupport::uniqueName("pipe");

    static long long msSince(std::chrono::steady_clock::time_point start)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    }
};

TEST_F(PipeContract, AnAbsentPipeFailsAtOnceWithNotFound)
{
    platform::ErrorCode error = 0;
    EXPECT_FALSE(platform::waitForPipe(path, 600, error));
    EXPECT_EQ(error, kNotFound);

    PipeConnection connection = PipeConnection::open(path);
    EXPECT_FALSE(connection.valid());
    EXPECT_EQ(connection.error(), kNotFound);
}

TEST_F(PipeContract, OneRequestOneAnswerPerConnection)
{
    const std::string answer = "{\"ret\":0,\"uptime\":12}";
    testsupport::TestPipeServer server(path, Mode::Answer, answer);
    ASSERT_TRUE(server.listening());

    platform::ErrorCode error = 0;
    EXPECT_TRUE(platform::waitForPipe(path, 600, error)) << error;

    // Every exchange opens its own connection; the service serves them one after another.
    for (int round = 0; round < 3; ++round) {
        PipeConnection connection = PipeConnection::open(path);
        ASSERT_TRUE(connection.valid()) << connection.error();
        EXPECT_EQ(connection.error(), 0u);
        ASSERT_TRUE(connection.write(kRequest.data(), kRequest.size(), error)) << error;

        char buffer[4096] = {};
        const PipeConnection::ReadResult read = connection.read(buffer, 4095, 5000);
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_FALSE(read.timedOut);
        EXPECT_EQ(std::string(buffer, read.bytes), answer);
        EXPECT_EQ(server.lastRequest(), kRequest);
    }
}

TEST_F(PipeContract, OneReadDeliversAtMostTheBytesAskedFor)
{
    const std::string answer(6000, 'x');
    testsupport::TestPipeServer server(path, Mode::Answer, answer);
    ASSERT_TRUE(server.listening());

    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    platform::ErrorCode error = 0;
    ASSERT_TRUE(connection.write(kRequest.data(), kRequest.size(), error)) << error;

    std::string buffer(8000, '\0');
    const PipeConnection::ReadResult read = connection.read(&buffer[0], 4095, 5000);
    // A byte-mode pipe reports a partial read either as success or as "more data".
    EXPECT_GT(read.bytes, 0u);
    EXPECT_LE(read.bytes, 4095u);
    EXPECT_EQ(buffer.find_first_not_of('x'), read.bytes);
}

TEST_F(PipeContract, AServiceThatClosesWithoutAnsweringGivesNoBytes)
{
    testsupport::TestPipeServer server(path, Mode::CloseWithoutWriting);
    ASSERT_TRUE(server.listening());

    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    platform::ErrorCode error = 0;
    ASSERT_TRUE(connection.write(kRequest.data(), kRequest.size(), error)) << error;

    char buffer[4096];
    const PipeConnection::ReadResult read = connection.read(buffer, 4095, 5000);
    EXPECT_FALSE(read.timedOut);
    EXPECT_EQ(read.bytes, 0u);
    if (!read.ok) {
        EXPECT_NE(read.error, 0u);
    }
}

TEST_F(PipeContract, AServiceThatNeverAnswersCostsOneBoundedWait)
{
    testsupport::TestPipeServer server(path, Mode::NeverAnswer);
    ASSERT_TRUE(server.listening());

    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    platform::ErrorCode error = 0;
    ASSERT_TRUE(connection.write(kRequest.data(), kRequest.size(), error)) << error;

    char buffer[4096];
    const auto start = std::chrono::steady_clock::now();
    const PipeConnection::ReadResult read = connection.read(buffer, 4095, 300);
    const long long waited = msSince(start);
    EXPECT_TRUE(read.timedOut);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.bytes, 0u);
    EXPECT_NE(read.error, 0u);
    // Lower bound: it did wait; upper bound only guards against a hang.
    EXPECT_GE(waited, 250);
    EXPECT_LT(waited, 10000);
}

TEST_F(PipeContract, ABusyServiceRefusesTheConnectionWithinABoundedTime)
{
    testsupport::TestPipeServer server(path, Mode::Busy);
    ASSERT_TRUE(server.listening());

    platform::ErrorCode error = 0;
    if (!platform::waitForPipe(path, 600, error)) {
        EXPECT_NE(error, 0u);
    }

    const auto start = std::chrono::steady_clock::now();
    PipeConnection connection = PipeConnection::open(path);
    EXPECT_FALSE(connection.valid());
    EXPECT_NE(connection.error(), 0u);
    EXPECT_NE(connection.error(), kNotFound);
    EXPECT_LT(msSince(start), 10000);
}

TEST_F(PipeContract, AClosedConnectionRefusesIo)
{
    testsupport::TestPipeServer server(path, Mode::Answer, "{}");
    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    connection.close();
    EXPECT_FALSE(connection.valid());

    platform::ErrorCode error = 0;
    EXPECT_FALSE(connection.write(kRequest.data(), kRequest.size(), error));
    EXPECT_NE(error, 0u);
    char buffer[16];
    const PipeConnection::ReadResult read = connection.read(buffer, sizeof buffer, 100);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error, 0u);
}

TEST_F(PipeContract, TheServerNameForAPipeIsStable)
{
    const std::string serverName = platform::localServerNameForPipe(path);
    EXPECT_FALSE(serverName.empty());
    EXPECT_EQ(platform::localServerNameForPipe(path), serverName);
    EXPECT_NE(platform::localServerNameForPipe(path + "x"), serverName);
}

} // namespace
