#include "config.h"
#include "linktestenv.h"
#include "pipeclienttestaccess.h"
#include "pipeexchange.h"

#include <logcapture.h>
#include <standinservice.h>
#include <testenv.h>

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

const QByteArray kEnable = R"({"cmd":"SET_AUTOSTART","enable":true})";
const QByteArray kDone = R"({"ret":0})";

class PipeExchange : public ::testing::Test {
protected:
    PipeExchange() { service.setHttpPort(0); }

    LinkTestEnvironment environment;
    LogCapture log{QStringLiteral("PipeClient"), LogCapture::Levels::Prefixed};
    std::string path = pipePath().toStdString();
    StandInService service{instanceId()};
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
    ASSERT_TRUE(service.start());
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
    EXPECT_TRUE(exchangeOverPipe(path, kEnable, answer, true, script.ops()));
    EXPECT_EQ(answer, kDone);
    EXPECT_EQ(script.calls,
              QStringList({"open", "wait 600", "sleep 600", "wait 600", "sleep 600", "wait 600", "open"}));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PipeExchange, RequestGetsExactlyOneLineFeed)
{
    ASSERT_TRUE(service.start());
    PipeClient client;
    QByteArray answer;
    // Without its line feed the service would wait for the rest and the read would time out.
    ASSERT_TRUE(PipeClientTestAccess::request(client, kEnable, answer, true));
    EXPECT_EQ(answer, kDone);
    ASSERT_TRUE(PipeClientTestAccess::request(client, kEnable + "\n", answer, true));
    ASSERT_TRUE(PipeClientTestAccess::request(client,
                                              R"({"cmd":"GET_STATUS"})"
                                              "\n\n",
                                              answer, true));
    // Only the caller's own second line feed arrives beyond a request line.
    ASSERT_TRUE(service.waitForLine(QStringLiteral("request GET_STATUS")));
    EXPECT_EQ(service.count(QStringLiteral("after the request line ignored")), 1);
    EXPECT_EQ(service.count(QStringLiteral("1 bytes after the request line ignored")), 1);
    EXPECT_EQ(service.count(QStringLiteral("request SET_AUTOSTART -> {\"ret\":0}")), 2);
}

TEST_F(PipeExchange, ClosingWithoutAnAnswerIsAFailedRead)
{
    ASSERT_TRUE(service.start({"--fault", "STOP_SERVICE=close"}));
    PipeClient client;
    QByteArray answer;
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"STOP_SERVICE"})", answer, true));
    EXPECT_TRUE(answer.isEmpty());
    ASSERT_TRUE(service.waitForLine(QStringLiteral("request STOP_SERVICE")));
    EXPECT_EQ(service.count(QStringLiteral("request STOP_SERVICE")), 1) << "a failed read is not retried";
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral(
        R"(WARN PipeClient request: ReadFile failed/empty, request= "{\"cmd\":\"STOP_SERVICE\"}" readOk= )")));
    EXPECT_TRUE(log.lines().first().contains(QStringLiteral(" read= 0 error= ")));

    log.clear();
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"STOP_SERVICE"})", answer, false));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PipeExchange, WriteToAServiceThatClosedFailsWithoutRetry)
{
    ASSERT_TRUE(service.start({"--fault", "all=hangup"}));
    ScriptedOps script;
    script.waitResult = [](int, platform::ErrorCode &) { return true; };
    // Hand the connection over only after the service has dropped it.
    script.openResult = [this](const std::string &p) {
        platform::PipeConnection connection = platform::PipeConnection::open(p);
        service.waitForLine(QStringLiteral("connection closed at once"));
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
    ASSERT_TRUE(service.start({"--fault", "GET_STATUS=silent"}));
    PipeClient client;
    QElapsedTimer timer;
    timer.start();
    QByteArray answer;
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true));
    EXPECT_GE(timer.elapsed(), 2900);
    ASSERT_TRUE(service.waitForLine(QStringLiteral("request GET_STATUS")));
    EXPECT_EQ(service.count(QStringLiteral("no answer, connection held open")), 1);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral(
        R"(WARN PipeClient request: ReadFile timed out, request= "{\"cmd\":\"GET_STATUS\"}" timeoutMs= 3000 error= )")));
}
