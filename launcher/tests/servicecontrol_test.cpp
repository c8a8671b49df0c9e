#include "servicecontrol.h"

#include "launcherrig.h"

#include "platform/processes.h"
#include "testenv.h"

#include <core/skip.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The service check and start through stand-ins for the system's commands: a "systemctl"
// script first on PATH on Linux; on Windows the command stand-in as "sc" and "net" beside the
// test program, where they are found first, told by ORLUNE_TEST_SYSTEMCTL_DIR where to work.

namespace {

// What the query command prints ("%NAME%" becomes the service asked for).
#ifdef Q_OS_WIN
const QByteArray kRunningAnswer = "SERVICE_NAME: %NAME%\n        STATE              : 4  RUNNING\n";
const QByteArray kStoppedAnswer = "SERVICE_NAME: %NAME%\n        STATE              : 1  STOPPED\n";
const QByteArray kRunningUnderOwnSpelling =
    "SERVICE_NAME: Orlune_Server\n        STATE              : 4  RUNNING\n";
#else
const QByteArray kRunningAnswer = "Id=%NAME%.service\\nActiveState=active\\nSubState=running\\n";
const QByteArray kStoppedAnswer = "Id=%NAME%.service\\nActiveState=inactive\\nSubState=dead\\n";
const QByteArray kRunningUnderOwnSpelling =
    "Id=Orlune_Server.service\\nActiveState=active\\nSubState=running\\n";
#endif

class ServiceControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tools.isValid());
        oldPath = qgetenv("PATH");
        qputenv("PATH", tools.path().toUtf8() + QDir::listSeparator().toLatin1() + oldPath);
        qputenv("ORLUNE_TEST_SYSTEMCTL_DIR", tools.path().toUtf8());
    }
    void TearDown() override
    {
        qputenv("PATH", oldPath);
        qunsetenv("ORLUNE_TEST_SYSTEMCTL_DIR");
    }

    // Service commands whose query prints `answer`.
    void installCommands(const QByteArray &answer)
    {
#ifdef Q_OS_WIN
        writeFile("answer", answer);
#else
        QByteArray script = "#!/bin/sh\n"
                            "echo \"$*\" >> \"" +
                            calls().toUtf8() +
                            "\"\n"
                            "for last; do :; done\n"
                            "if [ \"$1\" = show ]; then\n";
        script += "    printf '" + QByteArray(answer).replace("%NAME%", "%s") + "' \"$last\"\nfi\n";
        writeScript(script);
#endif
    }

    // Service commands that never finish; the query writes its process id to "pid".
    void installHangingCommands()
    {
#ifdef Q_OS_WIN
        installCommands({});
        writeFile("hang", {});
#else
        writeScript("#!/bin/sh\necho $$ > \"" + pidFile().toUtf8() + "\"\nexec sleep 300\n");
#endif
    }

    void writeScript(const QByteArray &script)
    {
        writeFile("systemctl", script);
        QFile::setPermissions(tools.filePath("systemctl"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(tools.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QString calls() const
    {
        return tools.filePath("calls");
    }
    QString pidFile() const
    {
        return tools.filePath("pid");
    }

    QTemporaryDir tools;
    QByteArray oldPath;
};

TEST_F(ServiceControlTest, RunningServiceIsRecognised)
{
    installCommands(kRunningAnswer);
    EXPECT_TRUE(isServiceRunning("Orlune_Server"));
    const QStringList recorded = readLines(calls());
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_TRUE(recorded.first().startsWith(LauncherRig::serviceQueryCall()))
        << recorded.first().toStdString();
    EXPECT_TRUE(recorded.first().endsWith(" Orlune_Server"));
}

TEST_F(ServiceControlTest, StoppedServiceIsNotRunningAndIsStartedByName)
{
    installCommands(kStoppedAnswer);
    EXPECT_FALSE(isServiceRunning("Orlune_Server"));
    startService("Orlune_Server");
    const QStringList recorded = readLines(calls());
    ASSERT_EQ(recorded.size(), 2);
    EXPECT_TRUE(recorded.at(1).startsWith("start "));
    EXPECT_TRUE(recorded.at(1).endsWith(" Orlune_Server"));
}

TEST_F(ServiceControlTest, NameInAnotherLetterCaseCountsAsNotRunning)
{
    // The system reports the service under its own spelling.
    installCommands(kRunningUnderOwnSpelling);
    EXPECT_TRUE(isServiceRunning("Orlune_Server"));
    EXPECT_FALSE(isServiceRunning("orlune_server"));
}

TEST_F(ServiceControlTest, MissingCommandCountsAsNotRunning)
{
    SKIP_ON_WINDOWS("sc and net come with the system, which finds them in its own folder whatever PATH says");
    qputenv("PATH", tools.path().toUtf8());
    EXPECT_FALSE(isServiceRunning("Orlune_Server"));
    startService("Orlune_Server");
    EXPECT_FALSE(QFile::exists(calls()));
}

TEST_F(ServiceControlTest, HangingCommandIsGivenUpAfterThirtySecondsAndKilled)
{
    installHangingCommands();
    const QDeadlineTimer bound(60000);
    EXPECT_FALSE(isServiceRunning("Orlune_Server"));
    EXPECT_FALSE(bound.hasExpired());

    const QStringList pid = readLines(pidFile());
    ASSERT_EQ(pid.size(), 1);
    platform::ProcessHandle command =
        platform::ProcessHandle::open(pid.first().toULong(), platform::ProcessHandle::Access::Synchronize);
    // Either gone already or ended by now.
    EXPECT_TRUE(!command.valid() || command.wait(0) == platform::kWaitObject0);
}

} // namespace
