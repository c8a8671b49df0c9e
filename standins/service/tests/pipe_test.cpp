#include "standinclients.h"
#include "testenv.h"

#include "platform/pipe.h"

#include <installation/names.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QByteArray kGetStatus = "{\"cmd\":\"GET_STATUS\"}\n";

class StandInPipe : public ::testing::Test {
protected:
    QJsonObject status() { return exchange(pipeNameOf(standIn), kGetStatus).json(); }

    IsolatedRuntime runtime;
    StandInService standIn;
};

QJsonObject process(const QString &type, const QString &name, int port, bool running)
{
    return {{"type", type}, {"name", name}, {"port", port}, {"running", running}};
}

} // namespace

TEST_F(StandInPipe, GetStatusAnswersTheDefaultStateInOneJsonObject)
{
    ASSERT_TRUE(standIn.start());
    const PipeExchange answer = exchange(pipeNameOf(standIn), kGetStatus);
    ASSERT_TRUE(answer.connected);
    EXPECT_TRUE(answer.closedByServer);
    EXPECT_LE(answer.bytes().size(), 4095);
    const QJsonObject status = answer.json();
    EXPECT_EQ(status.value("ret").toInt(-1), 0);
    EXPECT_EQ(status.value("httpPort").toInt(), standIn.httpPort());
    EXPECT_EQ(status.value("autoStart"), QJsonValue(false));
    EXPECT_GE(status.value("uptime").toDouble(-1), 0);
    const QJsonArray processes = status.value("processes").toArray();
    ASSERT_EQ(processes.size(), 4);
    EXPECT_EQ(processes[0].toObject().value("type").toString(), QStringLiteral("mainServer"));
    EXPECT_EQ(processes[0].toObject().value("name").toString(), QStringLiteral("Server"));
    EXPECT_EQ(processes[1].toObject().value("type").toString(), QStringLiteral("database"));
    EXPECT_EQ(processes[2].toObject(), process("webServer", "v7iZodore", standIn.httpPort(), true));
    EXPECT_EQ(processes[3].toObject().value("name").toString(), QStringLiteral("redis-server"));
    for (const QJsonValue &entry : processes) {
        EXPECT_EQ(entry.toObject().value("running"), QJsonValue(true));
        EXPECT_GT(entry.toObject().value("port").toInt(), 0);
    }
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("request GET_STATUS -> {")));
}

TEST_F(StandInPipe, TheTraysOwnPipeClientFindsItByInstallationIdentifier)
{
    ASSERT_TRUE(standIn.start());
    const std::string pipePath = installation::servicePipePath(standIn.instanceId()).toStdString();
    platform::ErrorCode error = 0;
    ASSERT_TRUE(platform::waitForPipe(pipePath, 600, error)) << error;
    platform::PipeConnection connection = platform::PipeConnection::open(pipePath);
    ASSERT_TRUE(connection.valid()) << connection.error();
    ASSERT_TRUE(connection.write(kGetStatus.constData(), static_cast<std::size_t>(kGetStatus.size()), error));
    char buffer[4096] = {};
    const platform::PipeConnection::ReadResult read = connection.read(buffer, 4095, 3000);
    ASSERT_TRUE(read.ok);
    const QJsonObject status =
        QJsonDocument::fromJson(QByteArray(buffer, static_cast<qsizetype>(read.bytes))).object();
    EXPECT_EQ(status.value("ret").toInt(-1), 0);
    EXPECT_EQ(status.value("processes").toArray().size(), 4);
}

TEST_F(StandInPipe, StartStateComesFromTheCommandLine)
{
    ASSERT_TRUE(standIn.start({"--processes", "mainServer:Server:1:false,other:v7iZodore:2:true",
                               "--autostart", "true", "--uptime", "1000"}));
    const QJsonObject answer = status();
    EXPECT_EQ(answer.value("autoStart"), QJsonValue(true));
    EXPECT_GE(answer.value("uptime").toDouble(), 1000);
    EXPECT_LT(answer.value("uptime").toDouble(), 1010);
    EXPECT_EQ(answer.value("processes").toArray(), (QJsonArray{process("mainServer", "Server", 1, false),
                                                               process("other", "v7iZodore", 2, true)}));
}

TEST_F(StandInPipe, UptimeCountsUpInWholeSeconds)
{
    ASSERT_TRUE(standIn.start({"--uptime", "50"}));
    const double first = status().value("uptime").toDouble();
    QThread::msleep(2100);
    const double second = status().value("uptime").toDouble();
    EXPECT_GE(second - first, 2);
    EXPECT_LE(second - first, 3);
    EXPECT_EQ(second, static_cast<double>(static_cast<qint64>(second)));
}

TEST_F(StandInPipe, SetAutoStartChangesTheStateItReports)
{
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(exchange(pipeNameOf(standIn), "{\"cmd\":\"SET_AUTOSTART\",\"enable\":true}\n").json(),
              (QJsonObject{{"ret", 0}}));
    EXPECT_EQ(status().value("autoStart"), QJsonValue(true));
    EXPECT_EQ(exchange(pipeNameOf(standIn), "{\"cmd\":\"SET_AUTOSTART\",\"enable\":false}\n").json(),
              (QJsonObject{{"ret", 0}}));
    EXPECT_EQ(status().value("autoStart"), QJsonValue(false));
}

TEST_F(StandInPipe, BadRequestsAreAnsweredWithANonZeroRetAndChangeNothing)
{
    ASSERT_TRUE(standIn.start());
    const QList<QByteArray> bad = {
        "not json\n",
        "[\"GET_STATUS\"]\n",
        "{\"command\":\"GET_STATUS\"}\n",
        "{\"cmd\":\"get_status\"}\n",
        "{\"cmd\":\"REBOOT\"}\n",
        "{\"cmd\":\"SET_AUTOSTART\"}\n",
        "{\"cmd\":\"SET_AUTOSTART\",\"enable\":\"true\"}\n",
    };
    for (const QByteArray &request : bad) {
        const QJsonObject answer = exchange(pipeNameOf(standIn), request).json();
        ASSERT_TRUE(answer.contains("ret")) << request.constData();
        EXPECT_NE(answer.value("ret").toInt(0), 0) << request.constData();
    }
    EXPECT_EQ(status().value("autoStart"), QJsonValue(false));
}

TEST_F(StandInPipe, ServesSeveralConnectionsAtOnce)
{
    ASSERT_TRUE(standIn.start({"--fault", "SET_AUTOSTART=silent"}));
    // Connections held open mid-request and unanswered must not block anyone else.
    QLocalSocket idle;
    idle.connectToServer(pipeNameOf(standIn));
    ASSERT_TRUE(idle.waitForConnected(1000));
    idle.write("{\"cmd\":");
    idle.flush();
    QLocalSocket unanswered;
    unanswered.connectToServer(pipeNameOf(standIn));
    ASSERT_TRUE(unanswered.waitForConnected(1000));
    unanswered.write("{\"cmd\":\"SET_AUTOSTART\",\"enable\":true}\n");
    unanswered.flush();
    ASSERT_TRUE(standIn.waitForLine(QStringLiteral("no answer, connection held open")));

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(status().value("ret").toInt(-1), 0);
    EXPECT_EQ(idle.state(), QLocalSocket::ConnectedState);
    EXPECT_EQ(unanswered.state(), QLocalSocket::ConnectedState);
}

TEST_F(StandInPipe, ASilentClientIsDroppedAfterTheReadTimeout)
{
    ASSERT_TRUE(standIn.start({"--read-timeout", "300"}));
    const PipeExchange partial = exchange(pipeNameOf(standIn), "{\"cmd\":\"GET_STATUS\"}", 3000);
    EXPECT_TRUE(partial.connected);
    EXPECT_TRUE(partial.closedByServer);
    EXPECT_TRUE(partial.bytes().isEmpty());
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("request not complete within 300 ms")));
    EXPECT_EQ(status().value("ret").toInt(-1), 0);
}

TEST_F(StandInPipe, AnOverlongRequestIsRefusedWithoutGrowingWithoutBound)
{
    ASSERT_TRUE(standIn.start());
    const PipeExchange answer = exchange(pipeNameOf(standIn), QByteArray(10000, 'x'));
    EXPECT_TRUE(answer.closedByServer);
    EXPECT_NE(answer.json().value("ret").toInt(0), 0);
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("request too long")));
}

TEST_F(StandInPipe, OnlyTheFirstLineOfAConnectionIsARequest)
{
    ASSERT_TRUE(standIn.start());
    const PipeExchange answer = exchange(
        pipeNameOf(standIn), "{\"cmd\":\"GET_STATUS\"}\r\n{\"cmd\":\"SET_AUTOSTART\",\"enable\":true}\n");
    EXPECT_EQ(answer.json().value("ret").toInt(-1), 0);
    EXPECT_TRUE(answer.json().contains("processes"));
    EXPECT_EQ(status().value("autoStart"), QJsonValue(false));
}

TEST_F(StandInPipe, StopServiceAnswersAndThenEndsTheProgram)
{
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(exchange(pipeNameOf(standIn), "{\"cmd\":\"STOP_SERVICE\"}\n").json(),
              (QJsonObject{{"ret", 0}}));
    ASSERT_TRUE(standIn.waitForExit());
    EXPECT_EQ(standIn.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(standIn.process().exitCode(), 0);
    EXPECT_FALSE(canConnect(pipeNameOf(standIn)));
    EXPECT_FALSE(QFile::exists(pipeNameOf(standIn))); // no stale socket left behind
}

TEST_F(StandInPipe, StopServiceCanBeToldToKeepRunning)
{
    ASSERT_TRUE(standIn.start({"--stop-exits", "false"}));
    EXPECT_EQ(exchange(pipeNameOf(standIn), "{\"cmd\":\"STOP_SERVICE\"}\n").json(),
              (QJsonObject{{"ret", 0}}));
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("staying up")));
    EXPECT_EQ(status().value("ret").toInt(-1), 0);
    EXPECT_EQ(standIn.process().state(), QProcess::Running);
}

TEST_F(StandInPipe, TakesOverAStaleNameButNeverALiveOne)
{
    ASSERT_TRUE(standIn.start());
    standIn.process().kill();
    ASSERT_TRUE(standIn.waitForExit());
#ifndef _WIN32
    // Its socket files stay behind; on Windows a pipe goes with its last handle.
    ASSERT_TRUE(QFile::exists(pipeNameOf(standIn)));
#endif

    QProcess second;
    second.start(StandInService::buildProgram(), {"--instance-id", standIn.instanceId(), "--http-port", "0"});
    ASSERT_TRUE(waitUntil([&] { return canConnect(pipeNameOf(standIn)); }, 5000));

    QProcess third;
    third.start(StandInService::buildProgram(), {"--instance-id", standIn.instanceId(), "--http-port", "0"});
    ASSERT_TRUE(third.waitForFinished(5000));
    EXPECT_EQ(third.exitCode(), 1);
    EXPECT_TRUE(third.readAllStandardError().contains("served by another process"));
    EXPECT_EQ(exchange(pipeNameOf(standIn), kGetStatus).json().value("ret").toInt(-1), 0);
    second.kill();
    second.waitForFinished();
}
