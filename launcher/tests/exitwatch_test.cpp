#include "launcherrig.h"

#include <QThread>

#include <gtest/gtest.h>

// The tray's exit request reaches the client through the named event.

namespace {

constexpr int kWaitMs = 20000;
const QString kExitRequestLine = QStringLiteral("tray exit request received, closing all windows");

class ExitWatchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.isValid()); }
    LauncherRig rig;
};

TEST_F(ExitWatchTest, LoginFormClosesOnceTheEventIsCreatedAndSet)
{
    ASSERT_TRUE(rig.startService());
    QProcess *client = rig.startClient();
    ASSERT_TRUE(waitUntil([&] { return !rig.trace().filter("LoginDlg type=").isEmpty(); }, kWaitMs));
    const qint64 pid = rig.tracedPids().first();

    // No event yet, then an event that is not set: the client waits on.
    QThread::msleep(700);
    ASSERT_TRUE(rig.createExitRequest());
    QThread::msleep(700);
    EXPECT_EQ(client->state(), QProcess::Running);

    ASSERT_TRUE(rig.setExitRequest());
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), 0);
    EXPECT_EQ(rig.stderrLines(client).count(kExitRequestLine), 1);
    const QStringList trace = rig.trace(pid);
    EXPECT_EQ(trace.filter("LoginDlg result=0").size(), 1);
    EXPECT_EQ(trace.filter("MainFrame init").size(), 0);
}

TEST_F(ExitWatchTest, MainFrameClosesWithoutAskingWhenTheTrayRequests)
{
    ASSERT_TRUE(rig.startService());
    ASSERT_TRUE(rig.createExitRequest());
    QProcess *client = rig.startClient({}, {{"LOGIN", "accept"}});
    ASSERT_TRUE(waitUntil([&] { return !rig.trace().filter("MainFrame shown").isEmpty(); }, kWaitMs));
    const qint64 pid = rig.tracedPids().first();

    ASSERT_TRUE(rig.setExitRequest());
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), 0);
    const QStringList trace = rig.trace(pid);
    EXPECT_EQ(trace.filter("MainFrame closed by tray request").size(), 1);
    EXPECT_EQ(trace.filter("messagebox").size(), 0);
}

TEST_F(ExitWatchTest, RequestBeforeAnyWindowEndsTheClientWithoutOpeningOne)
{
    ASSERT_TRUE(rig.startService({"--http", "off"}));
    ASSERT_TRUE(rig.createExitRequest());
    ASSERT_TRUE(rig.setExitRequest());
    QProcess *client = rig.startClient({}, {{"LOGIN", "accept"}});
    // Seen while the client still waits for its server: it stops waiting and ends quietly
    // instead of reporting the server it never reached.
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), 0);
    EXPECT_EQ(rig.stderrLines(client).count(kExitRequestLine), 1);
    const QStringList trace = rig.trace(rig.tracedPids().first());
    EXPECT_TRUE(trace.filter("messagebox").isEmpty()) << trace.join('\n').toStdString();
    EXPECT_TRUE(trace.filter("LoginDlg").isEmpty());
}

TEST_F(ExitWatchTest, RequestSetBeforeAnyEventLoopRanOpensNoWindowEither)
{
    // The server answers at once, so the client reaches its first window without having run
    // an event loop: ready, the login comes first; not ready, the dialog that waits for it.
    ASSERT_TRUE(rig.startService());
    ASSERT_TRUE(rig.createExitRequest());
    ASSERT_TRUE(rig.setExitRequest());
    for (const char *status : {"2", "1"}) {
        SCOPED_TRACE(status);
        ASSERT_TRUE(rig.sendToService(QStringLiteral("http-status ") + status));
        QProcess *client = rig.startClient({}, {{"LOGIN", "accept"}});
        const qint64 pid = client->processId();
        ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
        EXPECT_EQ(client->exitCode(), 0);
        const QStringList trace = rig.trace(pid);
        ASSERT_FALSE(trace.isEmpty());
        for (const char *window : {"LoginDlg", "LoadingDlg", "MainFrame", "messagebox"})
            EXPECT_TRUE(trace.filter(window).isEmpty()) << trace.join('\n').toStdString();
    }
}

TEST_F(ExitWatchTest, RequestWhileTheMainFrameLoadsEndsTheClientWithoutShowingIt)
{
    ASSERT_TRUE(rig.startService());
    ASSERT_TRUE(rig.createExitRequest());
    QProcess *client = rig.startClient({}, {{"LOGIN", "accept"}, {"LOADING_MS", "60000"}});
    ASSERT_TRUE(waitUntil([&] { return !rig.trace().filter("MainFrame init").isEmpty(); }, kWaitMs));

    ASSERT_TRUE(rig.setExitRequest());
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), 0);
    EXPECT_TRUE(rig.trace(rig.tracedPids().first()).filter("MainFrame shown").isEmpty());
}

TEST_F(ExitWatchTest, RequestWhileTheClientAsksWhetherToExitEndsIt)
{
    ASSERT_TRUE(rig.startService());
    ASSERT_TRUE(rig.createExitRequest());
    // The user closes the main frame and leaves its question open.
    QProcess *client =
        rig.startClient({}, {{"LOGIN", "accept"}, {"MAINFRAME_CLOSE_MS", "0"}, {"MESSAGEBOX_MS", ""}});
    ASSERT_TRUE(
        waitUntil([&] { return !rig.trace().filter("messagebox kind=question").isEmpty(); }, kWaitMs));

    ASSERT_TRUE(rig.setExitRequest());
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), 0);
    EXPECT_EQ(rig.stderrLines(client).count(kExitRequestLine), 1);
}

} // namespace
