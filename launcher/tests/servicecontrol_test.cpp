#include "servicecontrol.h"

#include "platform/processes.h"
#include "testenv.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The service check and start through a fake "systemctl" placed first on PATH.

namespace {

class ServiceControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tools.isValid());
        oldPath = qgetenv("PATH");
        qputenv("PATH", tools.path().toUtf8() + ':' + oldPath);
    }
    void TearDown() override { qputenv("PATH", oldPath); }

    // A systemctl whose "show" prints `showOutput` ("%NAME%" becomes the unit asked for).
    void installSystemctl(const QByteArray &showOutput)
    {
        QByteArray script = "#!/bin/sh\n"
                            "echo \"$*\" >> \"" +
                            calls().toUtf8() +
                            "\"\n"
                            "for last; do :; done\n"
                            "if [ \"$1\" = show ]; then\n";
        script += "    printf '" + QByteArray(showOutput).replace("%NAME%", "%s") + "' \"$last\"\nfi\n";
        writeScript(script);
    }

    void writeScript(const QByteArray &script)
    {
        QFile file(tools.filePath("systemctl"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString calls() const { return tools.filePath("calls"); }

    QTemporaryDir tools;
    QByteArray oldPath;
};

TEST_F(ServiceControlTest, RunningServiceIsRecognised)
{
    installSystemctl("Id=%NAME%.service\\nActiveState=active\\nSubState=running\\n");
    EXPECT_TRUE(isServiceRunning("Orlune_Server"));
    const QStringList recorded = readLines(calls());
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_TRUE(recorded.first().startsWith("show "));
    EXPECT_TRUE(recorded.first().endsWith(" Orlune_Server"));
}

TEST_F(ServiceControlTest, StoppedServiceIsNotRunningAndIsStartedByName)
{
    installSystemctl("Id=%NAME%.service\\nActiveState=inactive\\nSubState=dead\\n");
    EXPECT_FALSE(isServiceRunning("Orlune_Server"));
    startService("Orlune_Server");
    const QStringList recorded = readLines(calls());
    ASSERT_EQ(recorded.size(), 2);
    EXPECT_TRUE(recorded.at(1).startsWith("start "));
    EXPECT_TRUE(recorded.at(1).endsWith(" Orlune_Server"));
}

TEST_F(ServiceControlTest, NameInAnotherLetterCaseCountsAsNotRunning)
{
    // The system reports the unit under its own spelling.
    installSystemctl("Id=Orlune_Server.service\\nActiveState=active\\nSubState=running\\n");
    EXPECT_TRUE(isServiceRunning("Orlune_Server"));
    EXPECT_FALSE(isServiceRunning("orlune_server"));
}

TEST_F(ServiceControlTest, MissingCommandCountsAsNotRunning)
{
    qputenv("PATH", tools.path().toUtf8());
    EXPECT_FALSE(isServiceRunning("Orlune_Server"));
    startService("Orlune_Server");
    EXPECT_FALSE(QFile::exists(calls()));
}

TEST_F(ServiceControlTest, HangingCommandIsGivenUpAfterThirtySecondsAndKilled)
{
    const QString pidFile = tools.filePath("pid");
    writeScript("#!/bin/sh\necho $$ > \"" + pidFile.toUtf8() + "\"\nexec sleep 300\n");
    const QDeadlineTimer bound(60000);
    EXPECT_FALSE(isServiceRunning("Orlune_Server"));
    EXPECT_FALSE(bound.hasExpired());

    const QStringList pid = readLines(pidFile);
    ASSERT_EQ(pid.size(), 1);
    platform::ProcessHandle command =
        platform::ProcessHandle::open(pid.first().toULong(), platform::ProcessHandle::Access::Synchronize);
    // Either gone already or ended by now.
    EXPECT_TRUE(!command.valid() || command.wait(0) == platform::kWaitObject0);
}

} // namespace
