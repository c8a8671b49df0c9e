#include "standinclients.h"
#include "testenv.h"

#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

class StandInWeb : public ::testing::Test {
protected:
    int statusValue() { return httpGetStatus(standIn.httpPort()).json().value("status").toInt(-100); }

    IsolatedRuntime runtime;
    StandInService standIn;
};

bool tcpConnects(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    const bool connected = socket.waitForConnected(500);
    socket.abort();
    return connected;
}

} // namespace

TEST_F(StandInWeb, StatusAnswersReadyWithSuperUserAndRightOne)
{
    ASSERT_TRUE(standIn.start());
    const HttpExchange answer = httpGetStatus(standIn.httpPort());
    ASSERT_TRUE(answer.connected);
    EXPECT_EQ(answer.code, 200);
    EXPECT_TRUE(answer.raw.contains("\r\nConnection: close\r\n"));
    EXPECT_TRUE(
        answer.raw.contains("\r\nContent-Length: " + QByteArray::number(answer.body.size()) + "\r\n"));
    EXPECT_EQ(answer.json(), (QJsonObject{{"status", 2}, {"superUser", 1}, {"rights", QJsonArray{1}}}));
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("http GET /status -> 200 ")));
}

TEST_F(StandInWeb, OtherRequestsGetErrorCodes)
{
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(httpRequest(standIn.httpPort(), "GET /other HTTP/1.1\r\n\r\n").code, 404);
    EXPECT_EQ(httpRequest(standIn.httpPort(), "POST /status HTTP/1.1\r\nContent-Length: 0\r\n\r\n").code,
              405);
    EXPECT_EQ(httpRequest(standIn.httpPort(), "hello\r\n\r\n").code, 400);
    EXPECT_EQ(httpRequest(standIn.httpPort(), "GET /status?x=1 HTTP/1.0\r\n\r\n").code, 200);
}

TEST_F(StandInWeb, OnAndOffOpenAndCloseThePort)
{
    ASSERT_TRUE(standIn.start({"--http", "off"}));
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("http=off")));
    EXPECT_FALSE(tcpConnects(standIn.httpPort()));
    ASSERT_EQ(standIn.send(QStringLiteral("http on")), 0);
    EXPECT_EQ(statusValue(), 2);
    ASSERT_EQ(standIn.send(QStringLiteral("http off")), 0);
    EXPECT_FALSE(tcpConnects(standIn.httpPort()));
    ASSERT_EQ(standIn.send(QStringLiteral("http on")), 0);
    EXPECT_TRUE(tcpConnects(standIn.httpPort()));
}

TEST_F(StandInWeb, StatusAndSequenceSetTheReportedStatus)
{
    ASSERT_TRUE(standIn.start({"--http-status", "1"}));
    EXPECT_EQ(statusValue(), 1);
    EXPECT_EQ(statusValue(), 1);
    ASSERT_EQ(standIn.send(QStringLiteral("http-status-sequence 0,1,2")), 0);
    EXPECT_EQ(statusValue(), 0);
    EXPECT_EQ(statusValue(), 1);
    EXPECT_EQ(statusValue(), 2);
    EXPECT_EQ(statusValue(), 2) << "the last value stays";
    ASSERT_EQ(standIn.send(QStringLiteral("http-status 5")), 0);
    EXPECT_EQ(statusValue(), 5);
}

TEST_F(StandInWeb, SequenceFromTheCommandLine)
{
    ASSERT_TRUE(standIn.start({"--http-status-sequence", "3,2"}));
    EXPECT_EQ(statusValue(), 3);
    EXPECT_EQ(statusValue(), 2);
    EXPECT_EQ(statusValue(), 2);
}

TEST_F(StandInWeb, DelayedProbesAreClosedUnansweredThenServed)
{
    ASSERT_TRUE(standIn.start({"--http-delay-probes", "2"}));
    const HttpExchange first = httpGetStatus(standIn.httpPort());
    const HttpExchange second = httpGetStatus(standIn.httpPort());
    EXPECT_EQ(first.code, 0);
    EXPECT_TRUE(first.raw.isEmpty());
    EXPECT_EQ(second.code, 0);
    EXPECT_EQ(statusValue(), 2);
    EXPECT_TRUE(
        standIn.waitForLine(QStringLiteral("http connection 2 closed without an answer (0 more to close)")));

    ASSERT_EQ(standIn.send(QStringLiteral("http-delay-probes 1")), 0);
    EXPECT_EQ(httpGetStatus(standIn.httpPort()).code, 0);
    EXPECT_EQ(statusValue(), 2);
}

TEST_F(StandInWeb, SuperUserAndRightOneAreControllable)
{
    ASSERT_TRUE(standIn.start({"--superuser", "-1", "--right1", "false"}));
    EXPECT_EQ(httpGetStatus(standIn.httpPort()).json(),
              (QJsonObject{{"status", 2}, {"superUser", -1}, {"rights", QJsonArray{}}}));
    ASSERT_EQ(standIn.send(QStringLiteral("superuser 0")), 0);
    ASSERT_EQ(standIn.send(QStringLiteral("right1 true")), 0);
    EXPECT_EQ(httpGetStatus(standIn.httpPort()).json(),
              (QJsonObject{{"status", 2}, {"superUser", 0}, {"rights", QJsonArray{1}}}));
}

TEST_F(StandInWeb, AnIncompleteRequestIsDroppedAfterTheReadTimeout)
{
    ASSERT_TRUE(standIn.start({"--read-timeout", "300"}));
    const HttpExchange answer = httpRequest(standIn.httpPort(), "GET /status HTTP/1.1\r\n");
    EXPECT_TRUE(answer.connected);
    EXPECT_TRUE(answer.raw.isEmpty());
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("http request not complete within 300 ms")));
    EXPECT_EQ(statusValue(), 2);
}

TEST_F(StandInWeb, PortZeroServesNoWebServer)
{
    ASSERT_TRUE(standIn.start({"--http-port", "0"}));
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("http=none")));
    EXPECT_EQ(standIn.send(QStringLiteral("http on")), 1);
    EXPECT_EQ(exchange(pipeNameOf(standIn), "{\"cmd\":\"GET_STATUS\"}\n").json().value("httpPort").toInt(-1),
              0);
}

TEST_F(StandInWeb, APortInUseIsReportedAtStart)
{
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::LocalHost, 0));
    QProcess program;
    program.start(StandInService::buildProgram(), {"--instance-id", uniqueInstanceId(), "--http-port",
                                                   QString::number(occupant.serverPort())});
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().contains("cannot listen"));
}
