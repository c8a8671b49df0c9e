#include "launcherrig.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

// The client's start-up against the stand-in service, observed through its log, the stand-in
// libraries' trace and its exit code.

namespace {

const int kExitRefused = LauncherRig::exitCodeAsSeen(-1);
const int kExitRestart = LauncherRig::exitCodeAsSeen(773);
constexpr int kWaitMs = 20000;

QStringList steps(const QList<StartupStep> &list)
{
    QStringList names;
    for (const StartupStep &step : list)
        names << step.step;
    return names;
}

int countContaining(const QStringList &lines, const QString &fragment)
{
    int count = 0;
    for (const QString &line : lines)
        count += line.contains(fragment) ? 1 : 0;
    return count;
}

qint64 indexOfContaining(const QStringList &lines, const QString &fragment)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(fragment))
            return i;
    }
    return -1;
}

const QString kConnectionFailedBox = QStringLiteral(
    R"(messagebox kind=critical title="Information" text="v7iZodore Connection failed" buttons=0x400)");

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.isValid()); }
    LauncherRig rig;
};

TEST_F(StartupTest, ReadyServerLeadsThroughEveryStepToTheMainFrame)
{
    rig.setServiceState(LauncherRig::ServiceState::Stopped);
    const QString service = "Svc " + rig.instanceId();
    rig.writeParams({{"product/serviceName", service}});
    ASSERT_TRUE(rig.startService());
    QProcess *client = rig.startClient({}, {{"LOGIN", "accept"}, {"MAINFRAME_EXIT", "7:200"}});
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    // Any result of the event loop but 773 is handed back unchanged and starts nothing.
    EXPECT_EQ(client->exitCode(), 7);
    ASSERT_EQ(rig.tracedPids().size(), 1);
    const qint64 pid = rig.tracedPids().value(0);

    const QList<StartupStep> startup = startupSteps(rig.logMessages(pid));
    EXPECT_EQ(steps(startup),
              QStringList({"log system ready", "ClientSdk Init done", "v7iZodore TCP reachable",
                           "v7iZodore status=2", "initUserParam done"}));
    for (qsizetype i = 1; i < startup.size(); ++i)
        EXPECT_GE(startup.at(i).elapsedMs, startup.at(i - 1).elapsedMs) << startup.at(i).step.toStdString();

    const QStringList trace = rig.trace(pid);
    // Status 2 at once: no loading dialog before the login.
    EXPECT_EQ(countContaining(trace, "LoadingDlg show loadMainFrame=false"), 0);
    // The web views' environment is set before the logic starts; the debug port after it.
    const QString environment =
        R"(sandbox="1" flags="--ignore-certificate-errors --allow-insecure-localhost")";
    EXPECT_EQ(trace.filter("TqLogic init call=").join('|'),
              "TqLogic init call=1 " + environment + R"( remoteDebugging=""|TqLogic init call=2 )" +
                  environment + R"( remoteDebugging="18091")");
    EXPECT_EQ(countContaining(trace, "LoginDlg type=0 allowExit=true"), 1);
    const qint64 login = indexOfContaining(trace, "LoginDlg result=1");
    const qint64 start = indexOfContaining(trace, "MainFrame init");
    const qint64 shown = indexOfContaining(trace, "MainFrame shown");
    ASSERT_GE(login, 0);
    EXPECT_GT(start, login);
    EXPECT_GT(shown, start);
    EXPECT_EQ(countContaining(trace, "messagebox"), 0);

    // The SDK is given the configured server and the client's own process id.
    const QString init = trace.at(indexOfContaining(trace, "ClientSdk Init"));
    EXPECT_TRUE(init.contains(QStringLiteral("server=127.0.0.1:%1 ").arg(rig.httpPort())))
        << init.toStdString();
    EXPECT_TRUE(init.contains(QStringLiteral("clientPid=%1 ").arg(pid))) << init.toStdString();
    EXPECT_TRUE(init.contains("autoReconnect=true")) << init.toStdString();
    EXPECT_TRUE(init.endsWith("reserved=0")) << init.toStdString();

    // The stopped service was asked for and then started, by the configured name.
    ASSERT_EQ(rig.systemctlCalls().size(), 2);
    EXPECT_TRUE(rig.systemctlCalls().at(0).startsWith(LauncherRig::serviceQueryCall()))
        << rig.systemctlCalls().at(0).toStdString();
    EXPECT_TRUE(rig.systemctlCalls().at(0).endsWith(" " + service));
    EXPECT_TRUE(rig.systemctlCalls().at(1).startsWith("start ")) << rig.systemctlCalls().at(1).toStdString();
    EXPECT_TRUE(rig.systemctlCalls().at(1).endsWith(" " + service));

    const QStringList debug = rig.stderrLines(client);
    EXPECT_TRUE(debug.contains(QStringLiteral("path: \"%1\"").arg(rig.logPath())))
        << debug.join('\n').toStdString();
}

TEST_F(StartupTest, ConsoleLogGoesToAFileOnceSignedIn)
{
    rig.writeParams({{"client/openConsoleLog", "1"}});
    ASSERT_TRUE(rig.startService());
    QProcess *client = rig.startClient({}, {{"LOGIN", "accept"}, {"MAINFRAME_EXIT", "7:100"}});
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), 7);
    // Debug output before the login stays on the console, the main frame's goes to the file.
    EXPECT_EQ(rig.stderrLines(client).filter("path: ").size(), 1);
    EXPECT_TRUE(rig.stderrLines(client).filter("main frame: loading").isEmpty());
    EXPECT_TRUE(readLines(rig.appPath() + "/logfile.txt").contains("main frame: loading"));
}

TEST_F(StartupTest, RunningServiceIsNotStartedAgain)
{
    ASSERT_TRUE(rig.startService());
    EXPECT_EQ(rig.runClient({}, {{"LOGIN", "refuse"}}), 0);
    ASSERT_EQ(rig.systemctlCalls().size(), 1);
    EXPECT_TRUE(rig.systemctlCalls().at(0).startsWith(LauncherRig::serviceQueryCall()));
}

TEST_F(StartupTest, ServerReachableOnTheThirdProbe)
{
    ASSERT_TRUE(rig.startService({"--http", "off"}));
    QProcess *client = rig.startClient({}, {{"LOGIN", "refuse"}});
    ASSERT_TRUE(waitUntil([&] { return rig.trace().filter("probe reachable=false").size() >= 2; }, kWaitMs));
    ASSERT_TRUE(rig.sendToService("http on"));
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), 0);

    const qint64 pid = rig.tracedPids().value(0);
    EXPECT_EQ(rig.trace(pid).filter("probe reachable=").join('|'),
              "probe reachable=false|probe reachable=false|probe reachable=true");
    const QList<StartupStep> startup = startupSteps(rig.logMessages(pid));
    ASSERT_GE(startup.size(), 3);
    EXPECT_EQ(startup.at(1).step, "ClientSdk Init done");
    EXPECT_EQ(startup.at(2).step, "v7iZodore TCP reachable");
    // Two pauses of 500 ms lie between the first probe and the third.
    EXPECT_GE(startup.at(2).elapsedMs - startup.at(1).elapsedMs, 1000);
}

TEST_F(StartupTest, ServerNeverReachableEndsWithErrorBoxAndMinusOne)
{
    // No service at all: every probe of the web port is refused.
    QProcess *client = rig.startClient();
    ASSERT_TRUE(LauncherRig::waitForExit(client, kWaitMs));
    EXPECT_EQ(client->exitCode(), kExitRefused);

    const qint64 pid = rig.tracedPids().value(0);
    const QStringList log = rig.logMessages(pid);
    const QStringList errors =
        log.filter(QRegularExpression("^error v7iZodore unreachable after waiting, elapsed=\\d+ms$"));
    ASSERT_EQ(errors.size(), 1) << log.join('\n').toStdString();
    const qint64 elapsed = errors.first().section('=', 1).chopped(2).toLongLong();
    const qint64 sdkDone = startupSteps(log).value(1).elapsedMs;
    EXPECT_GE(elapsed - sdkDone, 10000);
    EXPECT_EQ(steps(startupSteps(log)), QStringList({"log system ready", "ClientSdk Init done"}));
    const QStringList trace = rig.trace(pid);
    EXPECT_GE(trace.filter("probe reachable=false").size(), 10);
    EXPECT_EQ(trace.filter("probe reachable=true").size(), 0);
    EXPECT_EQ(trace.filter(kConnectionFailedBox).size(), 1);
    EXPECT_EQ(trace.filter("LoginDlg").size(), 0);
}

TEST_F(StartupTest, ServerReadyAfterTheLoadingDialogGoesOnToTheLogin)
{
    ASSERT_TRUE(rig.startService({"--http-status-sequence", "1,1,2"}));
    EXPECT_EQ(rig.runClient({}, {{"LOGIN", "refuse"}}), 0);
    const qint64 pid = rig.tracedPids().value(0);
    EXPECT_EQ(steps(startupSteps(rig.logMessages(pid))),
              QStringList({"log system ready", "ClientSdk Init done", "v7iZodore TCP reachable",
                           "v7iZodore status=1", "initUserParam done"}));
    const QStringList trace = rig.trace(pid);
    const qint64 loading = indexOfContaining(trace, "LoadingDlg show loadMainFrame=false");
    const qint64 done = indexOfContaining(trace, "LoadingDlg done");
    const qint64 login = indexOfContaining(trace, "LoginDlg type=0");
    ASSERT_GE(loading, 0);
    EXPECT_GT(done, loading);
    EXPECT_GT(login, done);
    EXPECT_EQ(trace.mid(done).filter("server status=").value(0), "server status=2");
    // A refused login ends the client silently.
    EXPECT_EQ(trace.filter("messagebox").size(), 0);
    EXPECT_EQ(trace.filter("MainFrame init").size(), 0);
}

TEST_F(StartupTest, ServerStillNotReadyEndsWithErrorBoxAndMinusOne)
{
    ASSERT_TRUE(rig.startService({"--http-status", "1"}));
    EXPECT_EQ(rig.runClient({}, {{"SERVER_WAIT_MS", "800"}}), kExitRefused);
    const qint64 pid = rig.tracedPids().value(0);
    const QStringList log = rig.logMessages(pid);
    EXPECT_EQ(log.filter("error v7iZodore status is 1").size(), 1) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter("initUserParam").size(), 0);
    const QStringList trace = rig.trace(pid);
    EXPECT_EQ(trace.filter(kConnectionFailedBox).size(), 1);
    EXPECT_EQ(trace.filter("LoginDlg").size(), 0);
}

TEST_F(StartupTest, FailedSuperUserQueryShowsTheBoxAndStopsSilently)
{
    ASSERT_TRUE(rig.startService({"--superuser", "-1"}));
    EXPECT_EQ(rig.runClient(), 0);
    const QStringList trace = rig.trace(rig.tracedPids().value(0));
    EXPECT_EQ(trace.filter(kConnectionFailedBox).size(), 1);
    EXPECT_EQ(trace.filter("LoginDlg").size(), 0);
}

TEST_F(StartupTest, FailingLogicInitialisationStopsSilently)
{
    ASSERT_TRUE(rig.startService());
    // The first failure comes before the instance check and before any log exists.
    EXPECT_EQ(rig.runClient({}, {{"INIT_FAIL", "1"}}), 0);
    EXPECT_FALSE(QFile::exists(rig.logPath()));
    EXPECT_TRUE(rig.systemctlCalls().isEmpty());

    // The second comes after the user parameters, before the login.
    EXPECT_EQ(rig.runClient({}, {{"INIT_FAIL", "2"}}), 0);
    const qint64 pid = rig.tracedPids().value(1);
    EXPECT_EQ(steps(startupSteps(rig.logMessages(pid))).value(4), "initUserParam done");
    EXPECT_EQ(rig.trace(pid).filter("LoginDlg").size(), 0);
    EXPECT_EQ(rig.trace().filter("messagebox").size(), 0);
}

TEST_F(StartupTest, ArgumentsCountOnlyWholeAndInTheirExactCase)
{
    ASSERT_TRUE(rig.startService());
    EXPECT_EQ(
        rig.runClient({"USER_RESTART", "--user_restart", "user_noexit", "user_noExit2", "Crash_restart"},
                      {{"LOGIN", "refuse"}}),
        0);
    EXPECT_EQ(rig.trace(rig.tracedPids().value(0)).filter("LoginDlg type=").value(0),
              "LoginDlg type=0 allowExit=true");

    EXPECT_EQ(rig.runClient({"user_restart", "user_noExit"}, {{"LOGIN", "refuse"}}), 0);
    EXPECT_EQ(rig.trace(rig.tracedPids().value(1)).filter("LoginDlg type=").value(0),
              "LoginDlg type=2 allowExit=false");
}

TEST_F(StartupTest, RestartCodeStartsANewClientThatServesTheInstanceName)
{
    ASSERT_TRUE(rig.startService({"--right1", "false"}));
    // The old client stays alive while the new one checks for another instance.
    QProcess *first = rig.startClient(
        {}, {{"LOGIN", "accept"}, {"MAINFRAME_EXIT", "773:200"}, {"MAINFRAME_LINGER_MS", "1500"}});
    ASSERT_TRUE(LauncherRig::waitForExit(first, kWaitMs));
    EXPECT_EQ(first->exitCode(), kExitRestart);
    ASSERT_TRUE(waitUntil([&] { return rig.tracedPids().size() == 2; }, kWaitMs));
    const qint64 restarted = rig.tracedPids().at(1);
    ASSERT_TRUE(rig.waitForTrace(restarted, "MainFrame shown", kWaitMs));
    const QStringList trace = rig.trace(restarted);
    // Without right 1 the restarted client may not be ended from its login.
    EXPECT_EQ(trace.filter("LoginDlg type=").value(0), "LoginDlg type=2 allowExit=false");
    // It found the name free and serves it now: a further client is refused.
    EXPECT_EQ(trace.filter("messagebox").size(), 0);
    EXPECT_EQ(rig.runClient(), kExitRefused);

    // The restarted client inherited no exit hook and runs until the tray asks it to end.
    ASSERT_TRUE(rig.createExitRequest());
    ASSERT_TRUE(rig.setExitRequest());
    EXPECT_TRUE(rig.waitForTrace(restarted, "MainFrame closed by tray request", kWaitMs));
}

TEST_F(StartupTest, RestartWithRightOnePassesOnlyUserRestart)
{
    ASSERT_TRUE(rig.startService());
    QProcess *first = rig.startClient({}, {{"LOGIN", "accept"}, {"MAINFRAME_EXIT", "773:200"}});
    ASSERT_TRUE(LauncherRig::waitForExit(first, kWaitMs));
    EXPECT_EQ(first->exitCode(), kExitRestart);
    ASSERT_TRUE(waitUntil([&] { return rig.tracedPids().size() == 2; }, kWaitMs));
    const qint64 restarted = rig.tracedPids().at(1);
    ASSERT_TRUE(rig.waitForTrace(restarted, "LoginDlg type=", kWaitMs));
    EXPECT_EQ(rig.trace(restarted).filter("LoginDlg type=").value(0), "LoginDlg type=2 allowExit=true");
}

} // namespace
