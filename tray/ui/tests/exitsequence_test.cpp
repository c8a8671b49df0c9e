#include "trayharness.h"
#include "trayicontestaccess.h"

#include "activeappdir.h"
#include "appdir.h"
#include "config.h"
#include "logcapture.h"
#include "servicepanel.h"
#include "standinservice.h"
#include "testenv.h"

#include <core/skip.h>
#include <installation/names.h>
#include <platform/namedevent.h>
#include <platform/processes.h>

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

const QString kTitle = QStringLiteral("Exit Service Management");
const QString kNoClientNoPlan =
    QStringLiteral("Exiting will stop the background service. Stop the service and exit the tray?");
const QString kPlanOnly =
    QStringLiteral("A recording plan is currently active. Exiting will stop recording and stop "
                   "the background service. Stop the service and exit the tray?");
const QString kClientOnly =
    QStringLiteral("A running client was detected. Exiting will close the client and stop "
                   "the background service. Continue?");
const QString kClientAndPlan = QStringLiteral(
    "A running client was detected and a recording plan is currently active. Exiting will close "
    "the client, stop recording and stop the background service. Continue?");
const QString kStopFailed = QStringLiteral("Failed to notify the service. It may still be running.");

class ExitSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.addAssets();
        dir.writeParams(
            {{QStringLiteral("product/appName"), id}, {QStringLiteral("product/instanceId"), id}});
        service.setHttpPort(0); // the tray talks to it over the pipe only
    }
    void TearDown() override
    {
        service.kill();
        for (QProcess *process : {&clientA, &clientB}) {
            process->kill();
            process->waitForFinished();
        }
    }

    // The client's executable name as the product spells it, but in other letter case and with
    // blanks, which the search must ignore.
    QString clientFileName() const
    {
        return AppDir::programFileName(id.left(3).toUpper() + QStringLiteral(" ") + id.mid(3).toUpper());
    }
    // The installation's client lies beside the tray, in the application directory; another
    // installation's lies elsewhere.
    bool startClient(QProcess &client, bool obey, const QString &folder = QString())
    {
        const QStringList arguments = obey ? QStringList{QStringLiteral("obey"), exitEventName()}
                                           : QStringList{QStringLiteral("ignore")};
        return startClientSim(client, folder.isNull() ? dir.path() : folder, clientFileName(), arguments);
    }
    QString exitEventName() const { return installation::exitRequestEventName(id); }
    bool exitEventSet() const
    {
        const platform::NamedEvent event = platform::NamedEvent::open(
            exitEventName().toStdString(), platform::NamedEvent::Access::Synchronize);
        return event.valid() && event.poll() == platform::NamedEvent::WaitResult::Signalled;
    }

    // A product home whose params.ini holds `value` as the plan flag, or lacks it when null.
    void setRecordingPlan(const QString &value)
    {
        home.emplace();
        QSettings homeParams(home->filePath(QStringLiteral("params.ini")), QSettings::IniFormat);
        if (value.isNull())
            homeParams.setValue(QStringLiteral("language/currentLanCode"), QStringLiteral("en_US"));
        else
            homeParams.setValue(QStringLiteral("recordPlan/hasLocalPlan"), value);
        QSettings params(dir.filePath(QStringLiteral("params.ini")), QSettings::IniFormat);
        params.setValue(QStringLiteral("paths/orlunehome"), home->path());
    }

    bool waitConnected(TrayIcon &tray)
    {
        return waitUntil([&] { return TrayIconTestAccess::pipeClient(tray).lastStatus().connected; }, 10000);
    }

    // Runs the confirmed sequence inside the application's event loop, as the tray does;
    // returns the loop's result.
    int runConfirmedExit(TrayIcon &tray)
    {
        QTimer::singleShot(0, &tray, [&tray] { TrayIconTestAccess::exit(tray); });
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        safety.start(45000);
        return QApplication::exec();
    }

    // The sequence's own lines, from its first one on.
    QStringList sequenceLines() const
    {
        const QStringList all = log.linesStartingWith(QStringLiteral("TrayIcon "));
        QStringList lines;
        bool started = false;
        for (const QString &line : all) {
            started = started || line.startsWith(QStringLiteral("TrayIcon exit requested"));
            if (started && !line.startsWith(QStringLiteral("TrayIcon Watch pipe")))
                lines.append(line);
        }
        return lines;
    }

    QImage skinIcon(const QString &relative) const
    {
        return QPixmap(dir.filePath(QStringLiteral("Skin/Client/") + relative))
            .scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            .toImage();
    }

    IsolatedRuntime runtime;
    ActiveAppDir dir;
    // Short enough that no system truncates the client's process name.
    const QString id = uniqueInstanceId(QStringLiteral("Ex"));
    QTemporaryDir otherInstallation;
    std::optional<QTemporaryDir> home;
    LogCapture log;
    StandInService service{id};
    QProcess clientA;
    QProcess clientB;
};

QString pidText(const QProcess &process)
{
    return QString::number(process.processId());
}

// A client that ignores the request ended by force: killed by a signal on Linux; on Windows
// TerminateProcess gives it the exit code the tray passes, 0.
void expectEndedByForce(const QProcess &client)
{
#ifdef Q_OS_WIN
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0);
#else
    EXPECT_EQ(client.exitStatus(), QProcess::CrashExit);
#endif
}

TEST_F(ExitSequenceTest, QuestionNamesWhatWillStopAndRefusingChangesNothing)
{
    TrayIcon tray(nullptr);
    QPointer<ServicePanel> panel = TrayIconTestAccess::panel(tray);

    struct Case {
        bool client;
        QString planValue; // null: no product home
        QString question;
        QString answer;
    };
    const Case cases[] = {
        {false, QString(), kNoClientNoPlan, QStringLiteral("cancelBtn")},
        {false, QStringLiteral("1"), kPlanOnly, QStringLiteral("escape")},
        {false, QStringLiteral("0"), kNoClientNoPlan, QStringLiteral("closeBtn")},
        {false, QStringLiteral("not a number"), kNoClientNoPlan, QStringLiteral("cancelBtn")},
        {true, QStringLiteral(""), kClientOnly, QStringLiteral("closeBtn")},
        {true, QStringLiteral("7"), kClientAndPlan, QStringLiteral("cancelBtn")},
    };
    bool viaMenu = false;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.question.toStdString() + " / plan " + c.planValue.toStdString());
        if (c.client && clientA.state() == QProcess::NotRunning) {
            ASSERT_TRUE(startClient(clientA, true));
        }
        if (c.planValue.isNull()) {
            QSettings params(dir.filePath(QStringLiteral("params.ini")), QSettings::IniFormat);
            params.remove(QStringLiteral("paths/orlunehome"));
        } else {
            setRecordingPlan(c.planValue == QLatin1String("") ? QString() : c.planValue);
        }
        const int before = static_cast<int>(log.lines().size());

        DialogAnswerer answerer({c.answer});
        // Both ways in: the menu's Exit and the panel's close button.
        viaMenu = !viaMenu;
        if (viaMenu)
            TrayIconTestAccess::exitAction(tray)->trigger();
        else
            emit panel->closeRequested();

        ASSERT_EQ(answerer.seen.size(), 1);
        EXPECT_EQ(answerer.seen[0].title, kTitle);
        EXPECT_EQ(answerer.seen[0].text, c.question);
        EXPECT_EQ(answerer.seen[0].buttonTexts, (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));
        EXPECT_EQ(answerer.seen[0].icon.convertToFormat(QImage::Format_ARGB32),
                  skinIcon(QStringLiteral("custom_color/blue/icon_info.png"))
                      .convertToFormat(QImage::Format_ARGB32));

        const bool plan = c.planValue == QLatin1String("1") || c.planValue == QLatin1String("7");
        const QStringList expected{
            QStringLiteral("TrayIcon exit requested: clientPid= \"%1\"")
                .arg(c.client ? pidText(clientA) : QStringLiteral("none")),
            QStringLiteral("TrayIcon recording plan detected= %1").arg(plan ? "true" : "false"),
            QStringLiteral("TrayIcon exit cancelled by user")};
        EXPECT_EQ(log.lines().mid(before).filter(QStringLiteral("TrayIcon ")), expected)
            << log.dump().toStdString();
    }

    // Refused every time: the client runs on, the event is clear, the panel lives.
    EXPECT_EQ(clientA.state(), QProcess::Running);
    EXPECT_FALSE(exitEventSet());
    EXPECT_FALSE(panel.isNull());
    EXPECT_TRUE(log.linesStartingWith(QStringLiteral("TrayIcon STOP_SERVICE")).isEmpty());
}

TEST_F(ExitSequenceTest, WithoutClientStopsTheServiceAtTheFirstAttemptAndQuits)
{
    ASSERT_TRUE(service.start());
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    QPointer<ServicePanel> panel = TrayIconTestAccess::panel(tray);
    DialogAnswerer answerer({QStringLiteral("okBtn")});

    EXPECT_EQ(runConfirmedExit(tray), 0);

    EXPECT_EQ(sequenceLines(),
              (QStringList{QStringLiteral("TrayIcon exit requested: clientPid= \"none\""),
                           QStringLiteral("TrayIcon recording plan detected= false"),
                           QStringLiteral("TrayIcon exit confirmed by user"),
                           QStringLiteral("TrayIcon STOP_SERVICE attempt= 1 success= true"),
                           QStringLiteral("TrayIcon exit sequence complete: serviceStopped= true")}))
        << log.dump().toStdString();
    ASSERT_EQ(answerer.seen.size(), 1);
    EXPECT_EQ(answerer.seen[0].text, kNoClientNoPlan);
    EXPECT_TRUE(panel.isNull()); // disposed of as the loop ended
    EXPECT_FALSE(exitEventSet());
    ASSERT_TRUE(service.waitForExit(5000));
    EXPECT_EQ(service.process().exitCode(), 0);
    EXPECT_GT(service.count(QStringLiteral("STOP_SERVICE accepted")), 0);
}

TEST_F(ExitSequenceTest, AnotherUsersProcessOfTheClientsNameIsLeftAlone)
{
    SKIP_ON_WINDOWS("needs a second local user, which the kit makes with useradd");
    const ThrowawayUser other;
    if (!other.valid())
        GTEST_SKIP() << "creating another user needs root";
    // The other user's copy of the client, in a folder that user may enter.
    QTemporaryDir shared;
    QFile::setPermissions(shared.path(),
                          QFile::permissions(shared.path()) | QFile::ExeOther | QFile::ReadOther);
    const QString program = shared.filePath(clientFileName());
    ASSERT_TRUE(QFile::copy(clientSimPath(), program));
    QFile::setPermissions(program, QFile::permissions(clientSimPath()) | QFile::ExeOther | QFile::ReadOther);
    QProcess foreign;
    other.prepare(foreign, program, {QStringLiteral("ignore")});
    foreign.start();
    ASSERT_TRUE(
        waitUntil([&] { return foreign.canReadLine() && foreign.readLine().trimmed() == "ready"; }, 10000))
        << foreign.readAllStandardError().toStdString();

    ASSERT_TRUE(service.start());
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    DialogAnswerer answerer({QStringLiteral("okBtn")});
    EXPECT_EQ(runConfirmedExit(tray), 0);

    EXPECT_EQ(sequenceLines().value(0), QStringLiteral("TrayIcon exit requested: clientPid= \"none\""));
    EXPECT_EQ(foreign.state(), QProcess::Running);
    foreign.kill();
    foreign.waitForFinished();
}

TEST_F(ExitSequenceTest, AnotherInstallationsClientOfTheSameNameIsLeftAlone)
{
    ASSERT_TRUE(service.start());
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    // Started first, so that it comes first in the snapshot.
    ASSERT_TRUE(startClient(clientB, false, otherInstallation.path()));
    ASSERT_TRUE(startClient(clientA, true));
    const QString pid = pidText(clientA);
    DialogAnswerer answerer({QStringLiteral("okBtn")});

    EXPECT_EQ(runConfirmedExit(tray), 0);

    EXPECT_EQ(sequenceLines().value(0), QStringLiteral("TrayIcon exit requested: clientPid= \"%1\"").arg(pid))
        << log.dump().toStdString();
    EXPECT_TRUE(
        sequenceLines().contains(QStringLiteral("TrayIcon client exited gracefully: pid= %1").arg(pid)));
    EXPECT_EQ(clientB.state(), QProcess::Running);
}

TEST_F(ExitSequenceTest, AClientIdTakenOverWhileTheQuestionIsOpenIsLeftAlone)
{
    SKIP_ON_WINDOWS("picks the next process id through Linux's /proc/sys/kernel/ns_last_pid");
    QFile lastPid(QStringLiteral("/proc/sys/kernel/ns_last_pid"));
    if (!lastPid.open(QIODevice::WriteOnly))
        GTEST_SKIP() << "choosing the next process id needs root";
    ASSERT_TRUE(service.start());
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    ASSERT_TRUE(startClient(clientA, false));
    const qint64 pid = clientA.processId();

    // While the question is open the client ends and another process gets its id.
    QProcess successor;
    DialogAnswerer answerer({QStringLiteral("okBtn")});
    answerer.whileOpen = [&](QWidget *) {
        if (successor.state() != QProcess::NotRunning || clientA.state() == QProcess::NotRunning)
            return;
        clientA.kill();
        clientA.waitForFinished();
        for (int attempt = 0; attempt < 200 && successor.processId() != pid; ++attempt) {
            successor.kill();
            successor.waitForFinished();
            lastPid.write(QByteArray::number(pid - 1));
            lastPid.flush();
            successor.start(QStringLiteral("sleep"), {QStringLiteral("60")});
            successor.waitForStarted();
        }
    };
    EXPECT_EQ(runConfirmedExit(tray), 0);
    if (successor.processId() != pid)
        GTEST_SKIP() << "the id went to another process first";

    EXPECT_EQ(successor.state(), QProcess::Running);
    EXPECT_TRUE(sequenceLines().contains(
        QStringLiteral("TrayIcon client id now names another process: pid= %1").arg(pid)))
        << log.dump().toStdString();
    successor.kill();
    successor.waitForFinished();
}

TEST_F(ExitSequenceTest, ClientThatHonoursTheRequestIsNotForced)
{
    ASSERT_TRUE(service.start());
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    ASSERT_TRUE(startClient(clientA, true));
    const QString pid = pidText(clientA);
    DialogAnswerer answerer({QStringLiteral("okBtn")});

    EXPECT_EQ(runConfirmedExit(tray), 0);

    EXPECT_EQ(
        sequenceLines(),
        (QStringList{
            QStringLiteral("TrayIcon exit requested: clientPid= \"%1\"").arg(pid),
            QStringLiteral("TrayIcon recording plan detected= false"),
            QStringLiteral("TrayIcon exit confirmed by user"),
            QStringLiteral("TrayIcon SetEvent exit request: success= true error= 0"),
            QStringLiteral("TrayIcon OpenProcess(SYNCHRONIZE): pid= %1 success= true error= 0").arg(pid),
            QStringLiteral("TrayIcon client exited gracefully: pid= %1").arg(pid),
            QStringLiteral("TrayIcon STOP_SERVICE attempt= 1 success= true"),
            QStringLiteral("TrayIcon exit sequence complete: serviceStopped= true")}))
        << log.dump().toStdString();
    EXPECT_EQ(answerer.seen.value(0).text, kClientOnly);
    ASSERT_TRUE(clientA.waitForFinished(2000));
    EXPECT_EQ(clientA.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(clientA.exitCode(), 0);
    EXPECT_TRUE(clientA.readAllStandardOutput().contains("exit requested"));
    // Nobody resets the request.
    EXPECT_TRUE(exitEventSet());
}

TEST_F(ExitSequenceTest, OnlyTheFirstOfSeveralClientsIsWaitedForAndForced)
{
    ASSERT_TRUE(service.start());
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    ASSERT_TRUE(startClient(clientA, false));
    ASSERT_TRUE(startClient(clientB, false));

    // The first in snapshot order is the one the tray must pick.
    std::vector<platform::ProcessEntry> entries;
    platform::ErrorCode error = 0;
    ASSERT_TRUE(platform::snapshotProcesses(entries, error));
    unsigned long first = 0;
    for (const platform::ProcessEntry &entry : entries)
        if (first == 0 && QString::fromStdString(entry.exeName) == clientFileName())
            first = entry.pid;
    ASSERT_NE(first, 0ul);
    QProcess &firstClient = static_cast<unsigned long>(clientA.processId()) == first ? clientA : clientB;
    QProcess &otherClient = &firstClient == &clientA ? clientB : clientA;
    const QString pid = QString::number(first);
    DialogAnswerer answerer({QStringLiteral("okBtn")});

    EXPECT_EQ(runConfirmedExit(tray), 0);

    EXPECT_EQ(
        sequenceLines(),
        (QStringList{
            QStringLiteral("TrayIcon exit requested: clientPid= \"%1\"").arg(pid),
            QStringLiteral("TrayIcon recording plan detected= false"),
            QStringLiteral("TrayIcon exit confirmed by user"),
            QStringLiteral("TrayIcon SetEvent exit request: success= true error= 0"),
            QStringLiteral("TrayIcon OpenProcess(SYNCHRONIZE): pid= %1 success= true error= 0").arg(pid),
            QStringLiteral("TrayIcon client graceful-exit wait ended: pid= %1 result= 258 error= 0").arg(pid),
            QStringLiteral("TrayIcon force terminate attempted: pid= %1 success= true error= 0 waitResult= 0")
                .arg(pid),
            QStringLiteral("TrayIcon STOP_SERVICE attempt= 1 success= true"),
            QStringLiteral("TrayIcon exit sequence complete: serviceStopped= true")}))
        << log.dump().toStdString();
    ASSERT_TRUE(firstClient.waitForFinished(2000));
    expectEndedByForce(firstClient);
    EXPECT_EQ(otherClient.state(), QProcess::Running);
}

TEST_F(ExitSequenceTest, WithoutAnExitEventTheClientIsForcedAtOnce)
{
    ASSERT_TRUE(service.start());
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    TrayIconTestAccess::dropExitEvent(tray);
    ASSERT_TRUE(startClient(clientA, false));
    const QString pid = pidText(clientA);
    DialogAnswerer answerer({QStringLiteral("okBtn")});

    EXPECT_EQ(runConfirmedExit(tray), 0);

    // The user was told the client would close: it is not left running without its service.
    EXPECT_EQ(
        sequenceLines(),
        (QStringList{
            QStringLiteral("TrayIcon exit requested: clientPid= \"%1\"").arg(pid),
            QStringLiteral("TrayIcon recording plan detected= false"),
            QStringLiteral("TrayIcon exit confirmed by user"),
            QStringLiteral("TrayIcon OpenProcess(SYNCHRONIZE): pid= %1 success= true error= 0").arg(pid),
            QStringLiteral("TrayIcon force terminate attempted: pid= %1 success= true error= 0 waitResult= 0")
                .arg(pid),
            QStringLiteral("TrayIcon STOP_SERVICE attempt= 1 success= true"),
            QStringLiteral("TrayIcon exit sequence complete: serviceStopped= true")}))
        << log.dump().toStdString();
    ASSERT_TRUE(clientA.waitForFinished(2000));
    expectEndedByForce(clientA);
}

TEST_F(ExitSequenceTest, OfflineServiceGetsThreeAttemptsAndNoFailureDialog)
{
    TrayIcon tray(nullptr);
    ASSERT_FALSE(TrayIconTestAccess::pipeClient(tray).lastStatus().connected);
    DialogAnswerer answerer({QStringLiteral("okBtn")});

    EXPECT_EQ(runConfirmedExit(tray), 0);

    EXPECT_EQ(sequenceLines(),
              (QStringList{QStringLiteral("TrayIcon exit requested: clientPid= \"none\""),
                           QStringLiteral("TrayIcon recording plan detected= false"),
                           QStringLiteral("TrayIcon exit confirmed by user"),
                           QStringLiteral("TrayIcon STOP_SERVICE attempt= 1 success= false"),
                           QStringLiteral("TrayIcon STOP_SERVICE attempt= 2 success= false"),
                           QStringLiteral("TrayIcon STOP_SERVICE attempt= 3 success= false"),
                           QStringLiteral("TrayIcon exit sequence complete: serviceStopped= false")}))
        << log.dump().toStdString();
    EXPECT_EQ(answerer.seen.size(), 1);
}

TEST_F(ExitSequenceTest, RefusedStopIsReportedInAWarningDialog)
{
    ASSERT_TRUE(service.start({QStringLiteral("--fault"), QStringLiteral("STOP_SERVICE=refuse")}));
    TrayIcon tray(nullptr);
    ASSERT_TRUE(waitConnected(tray));
    DialogAnswerer answerer({QStringLiteral("okBtn"), QStringLiteral("okBtn")});

    EXPECT_EQ(runConfirmedExit(tray), 0);

    EXPECT_EQ(sequenceLines(),
              (QStringList{QStringLiteral("TrayIcon exit requested: clientPid= \"none\""),
                           QStringLiteral("TrayIcon recording plan detected= false"),
                           QStringLiteral("TrayIcon exit confirmed by user"),
                           QStringLiteral("TrayIcon STOP_SERVICE attempt= 1 success= false"),
                           QStringLiteral("TrayIcon STOP_SERVICE attempt= 2 success= false"),
                           QStringLiteral("TrayIcon STOP_SERVICE attempt= 3 success= false"),
                           QStringLiteral("TrayIcon exit sequence complete: serviceStopped= false")}))
        << log.dump().toStdString();
    ASSERT_EQ(answerer.seen.size(), 2);
    EXPECT_EQ(answerer.seen[1].title, kTitle);
    EXPECT_EQ(answerer.seen[1].text, kStopFailed);
    EXPECT_EQ(answerer.seen[1].buttonTexts, QStringList{QStringLiteral("Ok")});
    EXPECT_FALSE(answerer.seen[1].hasCancel);
    EXPECT_EQ(
        answerer.seen[1].icon.convertToFormat(QImage::Format_ARGB32),
        skinIcon(QStringLiteral("custom_color/yellow/icon_warn.png")).convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(service.process().state(), QProcess::Running);
}

TEST_F(ExitSequenceTest, TheTrayNeverTakesItselfForTheClient)
{
    // A product name that makes this very program look like the client.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QSettings params(dir.filePath(QStringLiteral("params.ini")), QSettings::IniFormat);
    params.setValue(QStringLiteral("product/appName"), self.toUpper());
    params.sync();
    TrayIcon tray(nullptr);
    DialogAnswerer answerer({QStringLiteral("cancelBtn")});

    TrayIconTestAccess::exit(tray);

    const QStringList requested =
        log.linesStartingWith(QStringLiteral("TrayIcon exit requested: clientPid= "));
    ASSERT_EQ(requested.size(), 1);
    // Another copy of the tests may be running and is a fair match; this process is not.
    EXPECT_NE(
        requested.first(),
        QStringLiteral("TrayIcon exit requested: clientPid= \"%1\"").arg(QCoreApplication::applicationPid()));
}

TEST_F(ExitSequenceTest, ExitChosenAgainWhileAskingDoesNotStartASecondSequence)
{
    TrayIcon tray(nullptr);
    {
        DialogAnswerer answerer({QStringLiteral("cancelBtn")});
        answerer.whileOpen = [&tray](QWidget *) { TrayIconTestAccess::exitAction(tray)->trigger(); };

        TrayIconTestAccess::exit(tray);

        EXPECT_EQ(answerer.seen.size(), 1);
        EXPECT_EQ(log.linesStartingWith(QStringLiteral("TrayIcon exit requested")).size(), 1);
        EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon exit cancelled by user")), 1);
    }

    // Once the first has ended, Exit asks again.
    DialogAnswerer again({QStringLiteral("cancelBtn")});
    TrayIconTestAccess::exit(tray);
    EXPECT_EQ(again.seen.size(), 1);
    EXPECT_EQ(log.linesStartingWith(QStringLiteral("TrayIcon exit requested")).size(), 2);
}

} // namespace
