#include "config.h"
#include "fakeservice.h"
#include "linktestenv.h"
#include "pipeclienttestaccess.h"
#include "pipeexchange.h"

#include <logcapture.h>
#include <testenv.h>

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

class PipeExchange : public ::testing::Test {
protected:
    LinkTestEnvironment environment;
    LogCapture log{QStringLiteral("PipeClient"), LogCapture::Levels::Prefixed};
    std::string path = pipePath().toStdString();
};

// Records the calls between attempts and answers them from a script.
struct ScriptedOps {
    QStringList calls;
    std::function<bool(int waitNumber, platform::ErrorCode &)> waitResult;
    std::function<platform::PipeConnection(const std::string &)> openResult;
    int waits = 0;

    PipeOps ops()
    {
        return PipeOps{[this](const std::string &, unsigned ms, platform::ErrorCode &error) {
                           calls << QStringLiteral("wait %1").arg(ms);
                           return waitResult(++waits, error);
                       },
                       [this](const std::string &p) {
                           calls << QStringLiteral("open");
                           return openResult(p);
                       },
                       [this](unsigned ms) { calls << QStringLiteral("sleep %1").arg(ms); }};
    }
};

platform::PipeConnection missingPipe(const std::string &)
{
    return platform::PipeConnection::open("\\\\.\\pipe\\NoSuchPipe");
}

} // namespace

TEST_F(PipeExchange, AbsentPipeMakesSixAttemptsWithFiveSleepsThenLogsOnce)
{
    ScriptedOps script;
    script.waitResult = [](int, platform::ErrorCode &error) {
        error = 2;
        return false;
    };
    script.openResult = missingPipe;
    QByteArray answer("untouched");
    EXPECT_FALSE(exchangeOverPipe(path, R"({"cmd":"STOP_SERVICE"})", answer, true, script.ops()));
    // The first attempt opens at once; each later one waits, and a failed wait sleeps.
    QStringList expected{QStringLiteral("open")};
    for (int attempt = 2; attempt <= 6; ++attempt)
        expected << QStringLiteral("wait 600") << QStringLiteral("sleep 600");
    EXPECT_EQ(script.calls, expected);
    EXPECT_EQ(answer, QByteArray("untouched"));
    EXPECT_EQ(log.lines(),
              QStringList({QStringLiteral(R"(WARN PipeClient request: pipe unavailable after )"
                                          R"(attempts= 6 request= "{\"cmd\":\"STOP_SERVICE\"}" error= 2)")}));
}

TEST_F(PipeExchange, FailedOpenGoesOnWithoutSleepingAndReportsTheLatestError)
{
    ScriptedOps script;
    script.waitResult = [](int n, platform::ErrorCode &error) {
        if (n == 5) {
            error = 231;
            return false;
        }
        return true;
    };
    script.openResult = missingPipe;
    QByteArray answer;
    EXPECT_FALSE(exchangeOverPipe(path, "x", answer, true, script.ops()));
    EXPECT_EQ(script.calls, QStringList({"open", "wait 600", "open", "wait 600", "open", "wait 600", "open",
                                         "wait 600", "open", "wait 600", "sleep 600"}));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().endsWith(QStringLiteral("error= 231")));
}

TEST_F(PipeExchange, LaterAttemptReachesTheServiceOnceItAppears)
{
    FakeService service(FakeService::answer(R"({"ret":0})"));
    ASSERT_TRUE(service.listening());
    ScriptedOps script;
    script.waitResult = [](int n, platform::ErrorCode &error) {
        error = 2;
        return n >= 3;
    };
    int opens = 0;
    // The first attempt misses the pipe; the next open finds the service.
    script.openResult = [&opens](const std::string &p) {
        return ++opens == 1 ? missingPipe(p) : platform::PipeConnection::open(p);
    };
    QByteArray answer;
    EXPECT_TRUE(exchangeOverPipe(path, "req", answer, true, script.ops()));
    EXPECT_EQ(answer, QByteArray(R"({"ret":0})"));
    EXPECT_EQ(script.calls,
              QStringList({"open", "wait 600", "sleep 600", "wait 600", "sleep 600", "wait 600", "open"}));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PipeExchange, RequestGetsExactlyOneLineFeed)
{
    FakeService service(FakeService::answer(R"({"ret":0})"));
    ASSERT_TRUE(service.listening());
    PipeClient client;
    QByteArray answer;
    ASSERT_TRUE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true));
    ASSERT_TRUE(PipeClientTestAccess::request(client, "line\n", answer, true));
    ASSERT_TRUE(PipeClientTestAccess::request(client, "two\n\n", answer, true));
    EXPECT_EQ(service.requests(), QList<QByteArray>({QByteArray("{\"cmd\":\"GET_STATUS\"}\n"),
                                                     QByteArray("line\n"), QByteArray("two\n\n")}));
    EXPECT_EQ(answer, QByteArray(R"({"ret":0})"));
}

TEST_F(PipeExchange, AnswerIsOneReadOfAtMost4095Bytes)
{
    const QByteArray big = QByteArray(5000, 'a');
    FakeService service(FakeService::answer(big));
    ASSERT_TRUE(service.listening());
    PipeClient client;
    QByteArray answer("stale");
    ASSERT_TRUE(PipeClientTestAccess::request(client, "x", answer, true));
    EXPECT_EQ(answer, big.left(4095));

    service.setDefault(FakeService::answer(QByteArray("\x00\x01{}", 4)));
    ASSERT_TRUE(PipeClientTestAccess::request(client, "x", answer, true));
    EXPECT_EQ(answer, QByteArray("\x00\x01{}", 4));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PipeExchange, ClosingWithoutAnAnswerIsAFailedRead)
{
    FakeService service(FakeService::close());
    ASSERT_TRUE(service.listening());
    PipeClient client;
    QByteArray answer;
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"STOP_SERVICE"})", answer, true));
    EXPECT_TRUE(answer.isEmpty());
    EXPECT_EQ(service.connections(), 1) << "a failed read is not retried";
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral(
        R"(WARN PipeClient request: ReadFile failed/empty, request= "{\"cmd\":\"STOP_SERVICE\"}" readOk= )")));
    EXPECT_TRUE(log.lines().first().contains(QStringLiteral(" read= 0 error= ")));

    log.clear();
    EXPECT_FALSE(PipeClientTestAccess::request(client, "x", answer, false));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PipeExchange, WriteToAServiceThatClosedFailsWithoutRetry)
{
    FakeService service(FakeService::closeAtOnce());
    ASSERT_TRUE(service.listening());
    ScriptedOps script;
    script.waitResult = [](int, platform::ErrorCode &) { return true; };
    // Hand the connection over only after the service has dropped it.
    script.openResult = [&service](const std::string &p) {
        platform::PipeConnection connection = platform::PipeConnection::open(p);
        waitUntil([&] { return service.finished() == 1; }, 5000);
        return connection;
    };
    QByteArray answer("kept");
    EXPECT_FALSE(exchangeOverPipe(path, R"({"cmd":"STOP_SERVICE"})", answer, true, script.ops()));
    EXPECT_EQ(script.calls, QStringList({"open"}));
    EXPECT_EQ(answer, QByteArray("kept"));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral(
        R"(WARN PipeClient request: WriteFile failed, request= "{\"cmd\":\"STOP_SERVICE\"}" error= )")));
}

TEST_F(PipeExchange, SilentServiceCostsOneBoundedRead)
{
    FakeService service(FakeService::silent());
    ASSERT_TRUE(service.listening());
    PipeClient client;
    QElapsedTimer timer;
    timer.start();
    QByteArray answer;
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true));
    EXPECT_GE(timer.elapsed(), 2900);
    EXPECT_EQ(service.connections(), 1);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral(
        R"(WARN PipeClient request: ReadFile timed out, request= "{\"cmd\":\"GET_STATUS\"}" timeoutMs= 3000 error= )")));
}
