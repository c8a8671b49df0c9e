#include "standinclients.h"
#include "testenv.h"

#include "platform/pipe.h"

#include <installation/names.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalSocket>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

const QByteArray kGetStatus = "{\"cmd\":\"GET_STATUS\"}\n";
const QByteArray kEnable = "{\"cmd\":\"SET_AUTOSTART\",\"enable\":true}\n";
const QByteArray kStop = "{\"cmd\":\"STOP_SERVICE\"}\n";

class StandInFaults : public ::testing::Test {
protected:
    PipeExchange ask(const QByteArray &request, int waitMs = 3000)
    {
        return exchange(pipeNameOf(standIn), request, waitMs);
    }
    bool autoStart() { return ask(kGetStatus).json().value("autoStart").toBool(); }
    void setFault(const QString &command, const QString &mode)
    {
        ASSERT_EQ(standIn.send(QStringLiteral("fault %1 %2").arg(command, mode)), 0);
    }

    IsolatedRuntime runtime;
    StandInService standIn;
};

} // namespace

TEST_F(StandInFaults, RefuseAnswersTheGivenRetAndDoesNotCarryOut)
{
    ASSERT_TRUE(standIn.start({"--fault", "SET_AUTOSTART=refuse"}));
    EXPECT_EQ(ask(kEnable).json(), (QJsonObject{{"ret", 1}}));
    EXPECT_FALSE(autoStart());

    setFault("all", "refuse:-9");
    EXPECT_EQ(ask(kGetStatus).json(), (QJsonObject{{"ret", -9}}));
    EXPECT_EQ(ask(kStop).json(), (QJsonObject{{"ret", -9}}));
    EXPECT_EQ(standIn.process().state(), QProcess::Running);
}

TEST_F(StandInFaults, MalformedIsNotJsonButTheCommandTakesEffect)
{
    ASSERT_TRUE(standIn.start({"--fault", "all=malformed"}));
    for (const QByteArray &request : {kGetStatus, kEnable}) {
        const PipeExchange answer = ask(request);
        ASSERT_FALSE(answer.bytes().isEmpty());
        QJsonParseError error;
        QJsonDocument::fromJson(answer.bytes(), &error);
        EXPECT_NE(error.error, QJsonParseError::NoError) << answer.bytes().constData();
    }
    setFault("all", "none");
    EXPECT_TRUE(autoStart());
}

TEST_F(StandInFaults, OversizeIsOneValidObjectLongerThanOneRead)
{
    ASSERT_TRUE(standIn.start({"--fault", "GET_STATUS=oversize"}));
    const PipeExchange answer = ask(kGetStatus);
    EXPECT_GT(answer.bytes().size(), 4095);
    EXPECT_EQ(answer.json().value("ret").toInt(-1), 0);
    EXPECT_TRUE(answer.json().contains("processes"));

    // What the tray reads with its single read of at most 4095 bytes is cut short.
    platform::PipeConnection connection =
        platform::PipeConnection::open(installation::servicePipePath(standIn.instanceId()).toStdString());
    ASSERT_TRUE(connection.valid());
    platform::ErrorCode error = 0;
    ASSERT_TRUE(connection.write(kGetStatus.constData(), static_cast<std::size_t>(kGetStatus.size()), error));
    char buffer[4096] = {};
    const platform::PipeConnection::ReadResult read = connection.read(buffer, 4095, 3000);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.bytes, 4095u);
    EXPECT_FALSE(QJsonDocument::fromJson(QByteArray(buffer, 4095)).isObject());
}

TEST_F(StandInFaults, SplitArrivesInSeveralPiecesThatJoinToTheAnswer)
{
    ASSERT_TRUE(standIn.start({"--fault", "GET_STATUS=split:150"}));
    const PipeExchange answer = ask(kGetStatus);
    EXPECT_EQ(answer.chunks.size(), 3);
    EXPECT_LT(answer.chunks.first().size(), answer.bytes().size());
    EXPECT_EQ(answer.json().value("ret").toInt(-1), 0);
    EXPECT_TRUE(answer.closedByServer);
}

TEST_F(StandInFaults, CloseGivesZeroBytesAndDoesNotCarryOut)
{
    ASSERT_TRUE(standIn.start({"--fault", "SET_AUTOSTART=close"}));
    const PipeExchange answer = ask(kEnable);
    EXPECT_TRUE(answer.connected);
    EXPECT_TRUE(answer.closedByServer);
    EXPECT_TRUE(answer.bytes().isEmpty());
    EXPECT_FALSE(autoStart());
    EXPECT_TRUE(
        standIn.waitForLine(QStringLiteral("request SET_AUTOSTART fault=close -> closed without an answer")));
}

TEST_F(StandInFaults, SilentNeverAnswersAndKeepsTheConnectionOpen)
{
    ASSERT_TRUE(standIn.start({"--fault", "GET_STATUS=silent", "--read-timeout", "200"}));
    // Held well past the read timeout: that one only bounds reading the request.
    const PipeExchange answer = ask(kGetStatus, 1000);
    EXPECT_TRUE(answer.connected);
    EXPECT_FALSE(answer.closedByServer);
    EXPECT_TRUE(answer.bytes().isEmpty());
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("client closed the unanswered connection")));
    EXPECT_EQ(ask(kEnable).json(), (QJsonObject{{"ret", 0}}));
}

TEST_F(StandInFaults, SlowAnswersAfterTheDelay)
{
    ASSERT_TRUE(standIn.start({"--fault", "GET_STATUS=slow:700"}));
    const PipeExchange slow = ask(kGetStatus);
    EXPECT_EQ(slow.json().value("ret").toInt(-1), 0);
    EXPECT_GE(slow.firstByteMs, 650);
    const PipeExchange quick = ask(kEnable);
    EXPECT_EQ(quick.json(), (QJsonObject{{"ret", 0}}));
    EXPECT_LT(quick.firstByteMs, slow.firstByteMs);
}

TEST_F(StandInFaults, BusyMakesConnectsFailUntilItEnds)
{
    ASSERT_TRUE(standIn.start({"--fault", "all=busy"}));
    const std::string pipePath = installation::servicePipePath(standIn.instanceId()).toStdString();
    platform::ErrorCode error = 0;
#ifdef _WIN32
    // Every instance is taken: the wait runs out (ERROR_SEM_TIMEOUT) instead of finding no pipe.
    EXPECT_FALSE(platform::waitForPipe(pipePath, 600, error));
    EXPECT_EQ(error, 121u);
    const platform::ErrorCode busy = 231; // ERROR_PIPE_BUSY
#else
    EXPECT_TRUE(platform::waitForPipe(pipePath, 600, error)) << "the pipe still exists while busy";
    const auto busy = static_cast<platform::ErrorCode>(EAGAIN);
#endif

    QLocalSocket socket;
    socket.connectToServer(pipeNameOf(standIn));
    EXPECT_FALSE(socket.waitForConnected(300));
    socket.abort();

    QElapsedTimer clock;
    clock.start();
    platform::PipeConnection connection = platform::PipeConnection::open(pipePath);
    EXPECT_FALSE(connection.valid());
    EXPECT_EQ(connection.error(), busy);
    EXPECT_LT(clock.elapsed(), 2000);

    setFault("all", "none");
    EXPECT_EQ(ask(kGetStatus).json().value("ret").toInt(-1), 0);
}

TEST_F(StandInFaults, HangUpClosesEveryConnectionBeforeReadingItsRequest)
{
    ASSERT_TRUE(standIn.start({"--fault", "all=hangup"}));
    const PipeExchange answer = ask(kEnable);
    EXPECT_TRUE(answer.closedByServer);
    EXPECT_TRUE(answer.bytes().isEmpty());
    setFault("all", "none");
    EXPECT_FALSE(autoStart());
}

TEST_F(StandInFaults, CountedFaultSpoilsOnlyTheNextRequestsOfItsCommand)
{
    ASSERT_TRUE(standIn.start({"--fault", "GET_STATUS=refuse:6*2"}));
    EXPECT_EQ(ask(kEnable).json(), (QJsonObject{{"ret", 0}}));
    EXPECT_EQ(ask(kGetStatus).json(), (QJsonObject{{"ret", 6}}));
    EXPECT_EQ(ask(kGetStatus).json(), (QJsonObject{{"ret", 6}}));
    EXPECT_EQ(ask(kGetStatus).json().value("ret").toInt(-1), 0);
}

TEST_F(StandInFaults, ControlSwitchesFaultsWithoutARestart)
{
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(ask(kGetStatus).json().value("ret").toInt(-1), 0);
    setFault("GET_STATUS", "refuse:3");
    EXPECT_EQ(ask(kGetStatus).json(), (QJsonObject{{"ret", 3}}));
    EXPECT_EQ(ask(kEnable).json(), (QJsonObject{{"ret", 0}})); // other commands unaffected
    setFault("all", "busy");
    EXPECT_FALSE(canConnect(pipeNameOf(standIn)));
    setFault("all", "close");
    EXPECT_TRUE(ask(kGetStatus).bytes().isEmpty());
    setFault("GET_STATUS", "none");
    EXPECT_EQ(ask(kGetStatus).json().value("autoStart"), QJsonValue(true));
    EXPECT_EQ(standIn.process().state(), QProcess::Running);
}

TEST_F(StandInFaults, StopServiceWithAFaultyAnswerStillStopsButARefusalDoesNot)
{
    ASSERT_TRUE(standIn.start({"--fault", "STOP_SERVICE=close"}));
    EXPECT_TRUE(ask(kStop).bytes().isEmpty());
    EXPECT_FALSE(standIn.waitForExit(500));

    setFault("STOP_SERVICE", "slow:200");
    EXPECT_EQ(ask(kStop).json(), (QJsonObject{{"ret", 0}}));
    ASSERT_TRUE(standIn.waitForExit());
    EXPECT_EQ(standIn.process().exitCode(), 0);
}
