#include "launcherrig.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

// Only one client runs per installation; a second one is told so and ends.

namespace {

constexpr int kExitRefused = -1 & 0xFF;
constexpr int kWaitMs = 20000;

const QString kAlreadyRunningBox = QStringLiteral(
    R"(messagebox kind=warning title="Note" text="The program is already running" buttons=0x4000)");

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rig.isValid());
        ASSERT_TRUE(rig.startService());
    }

    // A client that waits in its login form, where it handles events.
    QProcess *startWaitingClient(const QStringList &arguments = {})
    {
        const qsizetype before = rig.tracedPids().size();
        QProcess *client = rig.startClient(arguments);
        const bool waiting = waitUntil(
            [&] {
                return rig.tracedPids().size() > before &&
                       !rig.trace(rig.tracedPids().last()).filter("LoginDlg type=").isEmpty();
            },
            kWaitMs);
        return waiting ? client : nullptr;
    }

    int countLines(QProcess *client, const QString &line) const
    {
        return static_cast<int>(rig.stderrLines(client).count(line));
    }

    LauncherRig rig;
};

TEST_F(InstanceTest, SecondClientIsRefusedWhileTheFirstCarriesOn)
{
    QProcess *first = startWaitingClient();
    ASSERT_NE(first, nullptr);
    const qint64 firstPid = rig.tracedPids().first();
    const int callsBefore = static_cast<int>(rig.systemctlCalls().size());

    EXPECT_EQ(rig.runClient(), kExitRefused);
    const qint64 secondPid = rig.tracedPids().last();
    EXPECT_EQ(rig.trace(secondPid).filter(kAlreadyRunningBox).size(), 1);
    // The refused client stops before the service check and logs nothing.
    EXPECT_EQ(rig.systemctlCalls().size(), callsBefore);
    EXPECT_TRUE(rig.logMessages(secondPid).isEmpty());
    EXPECT_TRUE(waitUntil([&] { return countLines(first, "new process startup") == 1; }, kWaitMs));

    // Every pending connection is taken: fifty more starts in a row are all refused and all
    // seen by the first client.
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(rig.runClient(), kExitRefused) << "start " << i;
    EXPECT_TRUE(waitUntil([&] { return countLines(first, "new process startup") == 51; }, kWaitMs))
        << countLines(first, "new process startup");
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(rig.trace(firstPid).filter("messagebox").size(), 0);
}

TEST_F(InstanceTest, RefusalIsToldInTheProductLanguage)
{
    rig.addAssets();
    rig.writeParams({{"language/currentLanCode", "de_DE"}});
    ASSERT_NE(startWaitingClient(), nullptr);
    EXPECT_EQ(rig.runClient(), kExitRefused);
    EXPECT_EQ(
        rig.trace(rig.tracedPids().last()).filter("messagebox").value(0),
        QString::fromUtf8(
            R"(messagebox kind=warning title="Hinweis" text="Das Programm läuft bereits" buttons=0x4000)"));
}

TEST_F(InstanceTest, StaleNameOfAKilledClientIsTakenOver)
{
    QProcess *first = startWaitingClient();
    ASSERT_NE(first, nullptr);
    first->kill();
    ASSERT_TRUE(first->waitForFinished(5000));
    // The dead client's socket is still there.
    ASSERT_TRUE(QFileInfo::exists(QDir::tempPath() + "/" + rig.instanceId()));

    QProcess *second = startWaitingClient();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(rig.trace().filter("messagebox").size(), 0);
    // The new client serves the name: the next one is refused.
    EXPECT_EQ(rig.runClient(), kExitRefused);
    EXPECT_TRUE(waitUntil([&] { return countLines(second, "new process startup") == 1; }, kWaitMs));
}

TEST_F(InstanceTest, CrashRestartRunsBesideAnotherClientAndServesNoName)
{
    QProcess *normal = startWaitingClient();
    ASSERT_NE(normal, nullptr);
    QProcess *crashRestart = startWaitingClient({"crash_restart"});
    ASSERT_NE(crashRestart, nullptr);
    EXPECT_EQ(rig.trace().filter("messagebox").size(), 0);

    // With the normal client gone nobody serves the name, although a client still runs.
    normal->kill();
    ASSERT_TRUE(normal->waitForFinished(5000));
    QProcess *next = startWaitingClient();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(rig.trace().filter("messagebox").size(), 0);
    EXPECT_EQ(countLines(crashRestart, "new process startup"), 0);

    // The exit watch runs without an instance server all the same.
    ASSERT_TRUE(rig.createExitRequest());
    ASSERT_TRUE(rig.setExitRequest());
    EXPECT_TRUE(LauncherRig::waitForExit(crashRestart, kWaitMs));
    EXPECT_EQ(crashRestart->exitCode(), 0);
}

} // namespace
