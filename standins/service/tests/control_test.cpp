#include "names.h"
#include "standinclients.h"
#include "testenv.h"

#include "platform/pipe.h"

#include <installation/names.h>

#include <QFile>
#include <QJsonArray>
#include <QLocalSocket>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

const QByteArray kGetStatus = "{\"cmd\":\"GET_STATUS\"}\n";

class StandInControl : public ::testing::Test {
protected:
    QJsonObject status() { return exchange(pipeNameOf(standIn), kGetStatus).json(); }

    IsolatedRuntime runtime;
    StandInService standIn;
};

} // namespace

TEST_F(StandInControl, SendExitCodesTellOkErrorAndUnreachable)
{
    QString reply;
    EXPECT_EQ(standIn.send(QStringLiteral("autostart true"), &reply), 2) << "nothing runs yet";
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(standIn.send(QStringLiteral("autostart true"), &reply), 0);
    EXPECT_EQ(reply, QStringLiteral("ok"));
    EXPECT_EQ(standIn.send(QStringLiteral("autostart perhaps"), &reply), 1);
    EXPECT_TRUE(reply.startsWith(QStringLiteral("error: "))) << reply.toStdString();
    EXPECT_TRUE(standIn.waitForLine(QStringLiteral("control \"autostart perhaps\" -> error: ")));
}

TEST_F(StandInControl, InvalidCommandsAreErrorsAndChangeNothing)
{
    ASSERT_TRUE(standIn.start());
    for (const char *command :
         {"", "launch", "fault", "fault GET_STATUS", "fault PING close", "fault all sometimes",
          "fault GET_STATUS busy", "autostart", "processes a:b", "uptime later", "down now", "http maybe",
          "http-status two", "http-status-sequence 1,x", "http-delay-probes -2", "superuser", "right1 yes"})
        EXPECT_EQ(standIn.send(QLatin1String(command)), 1) << command;
    const QJsonObject answer = status();
    EXPECT_EQ(answer.value("ret").toInt(-1), 0);
    EXPECT_EQ(answer.value("autoStart"), QJsonValue(false));
    EXPECT_EQ(answer.value("processes").toArray().size(), 4);
}

TEST_F(StandInControl, StateCommandsChangeWhatGetStatusReports)
{
    ASSERT_TRUE(standIn.start());
    ASSERT_EQ(standIn.send(QStringLiteral("autostart true")), 0);
    ASSERT_EQ(standIn.send(QStringLiteral("uptime 1e30")), 0);
    ASSERT_EQ(standIn.send(QStringLiteral("processes mainServer:Server:7:false")), 0);
    QJsonObject answer = status();
    EXPECT_EQ(answer.value("autoStart"), QJsonValue(true));
    EXPECT_EQ(answer.value("uptime").toDouble(), 1e30);
    EXPECT_EQ(answer.value("processes").toArray(),
              (QJsonArray{
                  QJsonObject{{"type", "mainServer"}, {"name", "Server"}, {"port", 7}, {"running", false}}}));

    ASSERT_EQ(standIn.send(QStringLiteral("processes")), 0);
    ASSERT_EQ(standIn.send(QStringLiteral("uptime 12.5")), 0);
    answer = status();
    EXPECT_TRUE(answer.value("processes").toArray().isEmpty());
    EXPECT_GE(answer.value("uptime").toDouble(), 12.5);
    EXPECT_LT(answer.value("uptime").toDouble(), 20);
}

TEST_F(StandInControl, DownMakesThePipeAbsentAndUpBringsItBack)
{
    ASSERT_TRUE(standIn.start());
    const std::string pipePath = installation::servicePipePath(standIn.instanceId()).toStdString();
    ASSERT_EQ(standIn.send(QStringLiteral("down")), 0);
    platform::ErrorCode error = 0;
    EXPECT_FALSE(platform::waitForPipe(pipePath, 600, error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ENOENT));
    EXPECT_FALSE(canConnect(pipeNameOf(standIn)));
    EXPECT_EQ(standIn.send(QStringLiteral("down")), 0) << "down twice is harmless";

    ASSERT_EQ(standIn.send(QStringLiteral("up")), 0);
    EXPECT_EQ(status().value("ret").toInt(-1), 0);
    EXPECT_EQ(standIn.send(QStringLiteral("up")), 0) << "up twice is harmless";
    EXPECT_EQ(status().value("ret").toInt(-1), 0);
}

TEST_F(StandInControl, DownKeepsTheBusyFaultForWhenItComesBack)
{
    ASSERT_TRUE(standIn.start({"--fault", "all=busy"}));
    ASSERT_EQ(standIn.send(QStringLiteral("down")), 0);
    ASSERT_EQ(standIn.send(QStringLiteral("up")), 0);
    EXPECT_FALSE(canConnect(pipeNameOf(standIn)));
    ASSERT_EQ(standIn.send(QStringLiteral("fault all none")), 0);
    EXPECT_EQ(status().value("ret").toInt(-1), 0);
}

TEST_F(StandInControl, QuitEndsTheProgramCleanly)
{
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(standIn.send(QStringLiteral("quit")), 0);
    ASSERT_TRUE(standIn.waitForExit());
    EXPECT_EQ(standIn.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(standIn.process().exitCode(), 0);
    EXPECT_FALSE(QFile::exists(pipeNameOf(standIn)));
    EXPECT_FALSE(QFile::exists(controlServerName(standIn.instanceId())));
}

TEST_F(StandInControl, TerminationSignalEndsTheProgramCleanly)
{
    ASSERT_TRUE(standIn.start());
    standIn.process().terminate();
    ASSERT_TRUE(standIn.waitForExit());
    EXPECT_EQ(standIn.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(standIn.process().exitCode(), 0);
    EXPECT_FALSE(QFile::exists(pipeNameOf(standIn)));
}

TEST_F(StandInControl, InvalidCommandLineExitsWithUsageError)
{
    QProcess program;
    program.start(StandInService::buildProgram(), {"--fault", "GET_STATUS=busy"});
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_TRUE(program.readAllStandardError().contains("busy"));
}

TEST_F(StandInControl, HelpPrintsTheUsageAndExitsZero)
{
    QProcess program;
    program.start(StandInService::buildProgram(), {"--help"});
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 0);
    const QByteArray help = program.readAllStandardOutput();
    // Every option, fault mode and control command, and the web server's JSON members.
    for (const char *word : {"--instance-id",
                             "--fault",
                             "--processes",
                             "--autostart",
                             "--uptime",
                             "--stop-exits",
                             "--http-port",
                             "--http-status-sequence",
                             "--http-delay-probes",
                             "--superuser",
                             "--right1",
                             "--read-timeout",
                             "--send",
                             "refuse[:RET]",
                             "malformed",
                             "oversize",
                             "split[:MS]",
                             "close",
                             "silent",
                             "slow:MS",
                             "busy",
                             "down | up",
                             "quit",
                             "http on|off",
                             "\"superUser\"",
                             "\"rights\"",
                             "\"status\""})
        EXPECT_TRUE(help.contains(word)) << word;
}
