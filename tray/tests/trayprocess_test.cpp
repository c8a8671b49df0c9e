#include <appdir.h>
#include <testenv.h>

#include <core/skip.h>
#include <installation/names.h>
#include <platform/namedmutex.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

const QString program = QStringLiteral("Orlune_DizovuvOdiv");
constexpr int startTimeoutMs = 20000;

const QRegularExpression linePattern(QStringLiteral(R"(^\S+ \S+ \[([A-Z]+)\] PID=(\d+) TID=\d+ (.*)$)"));

// The "LEVEL text" entries that one process wrote into a log.
QStringList entriesOf(qint64 pid, const QString &logPath)
{
    QStringList entries;
    for (const QString &line : readLines(logPath)) {
        const QRegularExpressionMatch m = linePattern.match(line);
        if (m.hasMatch() && m.captured(2).toLongLong() == pid)
            entries << m.captured(1) + QLatin1Char(' ') + m.captured(3);
    }
    return entries;
}

// A magic number without messages is a valid, empty translation.
const QByteArray emptyTranslation("\x3c\xb8\x64\x18\xca\xef\x9c\x95\xcd\x21\x1c\xbf\x60\xa1\xbd\xdd", 16);

// Runs copies of the tray from temporary application directories, each with its own runtime
// and data folders, and ends whatever is still running at the end of the test.
class TrayProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(data.isValid()); }

    void TearDown() override
    {
        for (const auto &process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    // An application directory whose params.ini names `id`, with the program in it.
    std::unique_ptr<AppDir> makeAppDir(const QString &id, const QByteArray &extraParams = {})
    {
        auto app = std::make_unique<AppDir>();
        EXPECT_TRUE(app->isValid());
        EXPECT_FALSE(app->addProgram(program).isEmpty()) << "build " << program.toStdString() << " first";
        app->writeFile(QStringLiteral("params.ini"),
                       "[product]\nappName=Orlune\ninstanceId=" + id.toUtf8() + "\n" + extraParams);
        app->writeFile(QStringLiteral("translation/Client/en_US.qm"), emptyTranslation);
        return app;
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), offscreenPlatform());
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.filePath(QStringLiteral("share")));
        env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
        return env;
    }

    QProcess *start(const AppDir &app, const QProcessEnvironment &env)
    {
        processes.push_back(std::make_unique<QProcess>());
        QProcess *process = processes.back().get();
        process->setProcessEnvironment(env);
        process->setProgram(app.filePath(program));
        process->start();
        EXPECT_TRUE(process->waitForStarted(startTimeoutMs));
        return process;
    }
    QProcess *start(const AppDir &app) { return start(app, environment()); }

    static QString logOf(const AppDir &app) { return app.filePath("log/" + installation::trayLogFileName()); }

    // True once the tray owns its mutex and has loaded its translation.
    static bool waitUntilRunning(QProcess *process, const AppDir &app)
    {
        return waitUntil(
            [&] {
                return !entriesOf(process->processId(), logOf(app))
                            .filter(QLatin1String("DizovuvOdiv translation"))
                            .isEmpty();
            },
            startTimeoutMs);
    }

    static void expectCleanExit(QProcess *process)
    {
        ASSERT_TRUE(process->waitForFinished(startTimeoutMs));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }

    static bool mutexIsFree(const QString &id)
    {
        return platform::SingleInstanceMutex::create(installation::trayMutexName(id).toStdString()).state() ==
               platform::SingleInstanceMutex::State::Owned;
    }

    IsolatedRuntime runtime;
    QTemporaryDir data;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(TrayProcessTest, ASecondTrayOfTheSameInstallationStepsAside)
{
    const QString id = uniqueInstanceId();
    const auto app = makeAppDir(id);
    QProcess *first = start(*app);
    ASSERT_TRUE(waitUntilRunning(first, *app));

    const QString dir = QFileInfo(app->path()).canonicalFilePath();
    const QString expectedStartup =
        QStringLiteral("INFO DizovuvOdiv startup: appName=Orlune instanceId=%1 serviceName=Orlune_Server "
                       "pipePath=%2 mutexName=%3 applicationDirPath=%4 PID=%5 logPath=%6")
            .arg(id, installation::servicePipePath(id), installation::trayMutexName(id), dir,
                 QString::number(first->processId()), dir + "/log/" + installation::trayLogFileName());
    EXPECT_EQ(entriesOf(first->processId(), logOf(*app)).mid(0, 2),
              QStringList({expectedStartup, "INFO DizovuvOdiv translation loaded: \"en_US\" \"" + dir +
                                                "/translation/Client/en_US.qm\""}));

    QProcess *second = start(*app);
    const qint64 secondPid = second->processId();
    expectCleanExit(second);
    const QStringList secondEntries = entriesOf(secondPid, logOf(*app));
    ASSERT_EQ(secondEntries.size(), 2);
    EXPECT_TRUE(secondEntries[0].startsWith("INFO DizovuvOdiv startup: appName=Orlune instanceId=" + id));
    EXPECT_EQ(secondEntries[1], "INFO DizovuvOdiv existing instance detected; exiting");
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_FALSE(mutexIsFree(id));

    // A termination request ends the event loop: the exit line comes last and the name is free.
    const qint64 firstPid = first->processId();
    first->terminate();
    expectCleanExit(first);
    EXPECT_EQ(entriesOf(firstPid, logOf(*app)).last(), "INFO DizovuvOdiv exiting, code= 0");
    EXPECT_TRUE(mutexIsFree(id));

    QProcess *third = start(*app);
    EXPECT_TRUE(waitUntilRunning(third, *app));
    third->terminate();
    expectCleanExit(third);
}

TEST_F(TrayProcessTest, ARefusedTrayLeavesTheRunningTraysLogAlone)
{
    const auto app = makeAppDir(uniqueInstanceId());
    QProcess *first = start(*app);
    ASSERT_TRUE(waitUntilRunning(first, *app));
    // The running tray's log has grown past the rotation size meanwhile.
    QFile log(logOf(*app));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly | QIODevice::Append));
    log.write(QByteArray(4 * 1024 * 1024, 'x') + '\n');
    log.close();

    QProcess *second = start(*app);
    const qint64 secondPid = second->processId();
    expectCleanExit(second);
    EXPECT_FALSE(QFileInfo::exists(logOf(*app) + ".1"));
    EXPECT_EQ(entriesOf(secondPid, logOf(*app)).value(1),
              "INFO DizovuvOdiv existing instance detected; exiting");

    // The running tray still writes where its lines are kept.
    const qint64 firstPid = first->processId();
    first->terminate();
    expectCleanExit(first);
    EXPECT_TRUE(entriesOf(firstPid, logOf(*app)).contains("INFO DizovuvOdiv exiting, code= 0"));
}

TEST_F(TrayProcessTest, DeletingTheRuntimeFolderDoesNotLetASecondTrayIn)
{
    const auto app = makeAppDir(uniqueInstanceId());
    QProcess *first = start(*app);
    ASSERT_TRUE(waitUntilRunning(first, *app));
    // The tray may still be adding objects of its own to the folder: removed once it stops.
    ASSERT_TRUE(waitUntil(
        [&] { return QDir(runtime.runtimeDir() + QStringLiteral("/orlune-runtime")).removeRecursively(); },
        startTimeoutMs));

    QProcess *second = start(*app);
    const qint64 secondPid = second->processId();
    expectCleanExit(second);
    EXPECT_EQ(entriesOf(secondPid, logOf(*app)).value(1),
              "INFO DizovuvOdiv existing instance detected; exiting");
    EXPECT_EQ(first->state(), QProcess::Running);
    first->terminate();
    expectCleanExit(first);
}

TEST_F(TrayProcessTest, InterruptAndHangupEndTheTrayCleanlyToo)
{
    SKIP_ON_WINDOWS("interrupt and hangup are POSIX signals");
    for (const char *signal : {"-INT", "-HUP"}) {
        const QString id = uniqueInstanceId();
        const auto app = makeAppDir(id);
        QProcess *tray = start(*app);
        ASSERT_TRUE(waitUntilRunning(tray, *app));
        const qint64 pid = tray->processId();
        // The shell's own kill, so no extra package is needed.
        ASSERT_EQ(QProcess::execute(QStringLiteral("sh"),
                                    {QStringLiteral("-c"),
                                     QStringLiteral("kill %1 %2").arg(QLatin1String(signal)).arg(pid)}),
                  0);
        expectCleanExit(tray);
        EXPECT_EQ(entriesOf(pid, logOf(*app)).last(), "INFO DizovuvOdiv exiting, code= 0") << signal;
        EXPECT_TRUE(mutexIsFree(id)) << signal;
    }
}

TEST_F(TrayProcessTest, DifferentInstallationsRunSideBySide)
{
    const auto one = makeAppDir(uniqueInstanceId(QStringLiteral("One")));
    const auto two = makeAppDir(uniqueInstanceId(QStringLiteral("Two")));
    QProcess *first = start(*one);
    QProcess *second = start(*two);
    ASSERT_TRUE(waitUntilRunning(first, *one));
    ASSERT_TRUE(waitUntilRunning(second, *two));
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(second->state(), QProcess::Running);
    for (QProcess *tray : {first, second}) {
        tray->terminate();
        expectCleanExit(tray);
    }
}

TEST_F(TrayProcessTest, TenTraysStartedTogetherLeaveExactlyOne)
{
    const QString id = uniqueInstanceId();
    const auto app = makeAppDir(id);
    std::vector<QProcess *> trays;
    for (int i = 0; i < 10; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        trays.push_back(processes.back().get());
        trays.back()->setProcessEnvironment(environment());
        trays.back()->setProgram(app->filePath(program));
    }
    for (QProcess *tray : trays)
        tray->start();

    // Nine step aside; the one left is the one that owns the mutex.
    const auto running = [&] {
        int count = 0;
        for (QProcess *tray : trays)
            count += tray->state() != QProcess::NotRunning ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(waitUntil([&] { return running() == 1; }, 4 * startTimeoutMs)) << running();
    QProcess *owner = nullptr;
    for (QProcess *tray : trays) {
        if (tray->state() != QProcess::NotRunning)
            owner = tray;
        else
            EXPECT_EQ(tray->exitCode(), 0);
    }
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(readLines(logOf(*app)).filter("DizovuvOdiv existing instance detected; exiting").size(), 9);
    EXPECT_EQ(readLines(logOf(*app)).filter("DizovuvOdiv startup:").size(), 10);
    EXPECT_TRUE(waitUntilRunning(owner, *app));
    EXPECT_EQ(running(), 1);
    owner->terminate();
    expectCleanExit(owner);
}

TEST_F(TrayProcessTest, TranslationFollowsTheLanguageCode)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QFile homeParams(home.filePath(QStringLiteral("params.ini")));
    ASSERT_TRUE(homeParams.open(QIODevice::WriteOnly));
    homeParams.write("[language]\ncurrentLanCode=de_DE\n");
    homeParams.close();

    // The product home's language wins, and its file exists.
    const auto withHome =
        makeAppDir(uniqueInstanceId(), "[paths]\norlunehome=" + home.path().toUtf8() + "\n");
    withHome->writeFile(QStringLiteral("translation/Client/de_DE.qm"), emptyTranslation);
    QProcess *tray = start(*withHome);
    ASSERT_TRUE(waitUntilRunning(tray, *withHome));
    const QString dir = QFileInfo(withHome->path()).canonicalFilePath();
    EXPECT_TRUE(entriesOf(tray->processId(), logOf(*withHome))
                    .contains("INFO DizovuvOdiv translation loaded: \"de_DE\" \"" + dir +
                              "/translation/Client/de_DE.qm\""));
    tray->terminate();
    expectCleanExit(tray);

    // No file for the code, or a file that is not a translation: a warning, and the tray runs on.
    const auto missing = makeAppDir(uniqueInstanceId(), "[language]\ncurrentLanCode=xx_YY\n");
    missing->writeFile(QStringLiteral("translation/Client/en_US.qm"), "not a translation");
    const auto broken = makeAppDir(uniqueInstanceId());
    broken->writeFile(QStringLiteral("translation/Client/en_US.qm"), "not a translation");
    for (const auto &[app, code] : {std::pair{missing.get(), "xx_YY"}, std::pair{broken.get(), "en_US"}}) {
        QProcess *untranslated = start(*app);
        ASSERT_TRUE(waitUntilRunning(untranslated, *app));
        const QString canonical = QFileInfo(app->path()).canonicalFilePath();
        EXPECT_TRUE(
            entriesOf(untranslated->processId(), logOf(*app))
                .contains(
                    QStringLiteral(
                        "WARN DizovuvOdiv translation load failed: \"%1\" \"%2/translation/Client/%1.qm\"")
                        .arg(QLatin1String(code), canonical)));
        EXPECT_EQ(untranslated->state(), QProcess::Running);
        untranslated->terminate();
        expectCleanExit(untranslated);
    }
}

TEST_F(TrayProcessTest, WithoutAnyLogFolderTheTrayStillRuns)
{
    SKIP_ON_WINDOWS("blocks the fallback log folder through XDG_DATA_HOME; Windows takes it from the user's "
                    "known AppData folder");
    const QString id = uniqueInstanceId();
    const auto app = makeAppDir(id);
    app->writeFile(QStringLiteral("log"), "a file, not a folder");
    app->writeFile(QStringLiteral("share"), "a file, not a folder");
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), app->filePath(QStringLiteral("share")));
    QProcess *tray = start(*app, env);

    // Every message goes to Qt's own output instead.
    QByteArray output;
    ASSERT_TRUE(waitUntil(
        [&] {
            output += tray->readAllStandardError();
            return output.contains("DizovuvOdiv translation loaded:");
        },
        startTimeoutMs))
        << output.toStdString();
    EXPECT_TRUE(output.contains("DizovuvOdiv startup: appName=Orlune instanceId=" + id.toUtf8()));
    EXPECT_TRUE(output.contains(" logPath=unavailable\n")) << output.toStdString();
    EXPECT_EQ(tray->state(), QProcess::Running);

    tray->terminate();
    expectCleanExit(tray);
    output += tray->readAllStandardError();
    EXPECT_TRUE(output.contains("\nDizovuvOdiv exiting, code= 0\n")) << output.toStdString();
    QDirIterator files(app->path(), {QStringLiteral("*.log")}, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_FALSE(files.hasNext());
    EXPECT_FALSE(QFileInfo::exists(data.filePath(QStringLiteral("share"))));
}

TEST_F(TrayProcessTest, MutexCreationFailureIsLoggedAndEndsQuietly)
{
    SKIP_ON_WINDOWS("the named objects live in the runtime folder on Linux only; Windows keeps them in the "
                    "kernel's namespace");
    const auto app = makeAppDir(uniqueInstanceId());
    app->writeFile(QStringLiteral("not-a-folder"), "x");
    QProcessEnvironment env = environment();
    // No runtime directory can be made under a file.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), app->filePath(QStringLiteral("not-a-folder")));
    QProcess *tray = start(*app, env);
    const qint64 pid = tray->processId();
    expectCleanExit(tray);

    const QStringList entries = entriesOf(pid, logOf(*app));
    ASSERT_EQ(entries.size(), 3);
    EXPECT_TRUE(entries[0].startsWith("INFO DizovuvOdiv startup: "));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^CRITICAL DizovuvOdiv mutex creation failed, error= [1-9]\\d*$"))
            .match(entries[1])
            .hasMatch())
        << entries[1].toStdString();
    // Why, in words, in the log and on standard error.
    const QString why = "DizovuvOdiv cannot create its named objects: Not a directory (" +
                        app->filePath(QStringLiteral("not-a-folder")) + "/orlune-runtime must be a directory";
    EXPECT_TRUE(entries[2].startsWith("CRITICAL " + why)) << entries[2].toStdString();
    EXPECT_TRUE(QString::fromUtf8(tray->readAllStandardError()).contains(why));
}

TEST_F(TrayProcessTest, AnotherUserCannotKeepTheTrayFromRunning)
{
#ifdef Q_OS_WIN
    SKIP_ON_WINDOWS("needs a second local user, which the kit makes with useradd");
#else
    const ThrowawayUser other;
    if (!other.valid())
        GTEST_SKIP() << "creating another user needs root";
    // Without a runtime directory from the session, the folder another user can make first.
    const QString shared = QStringLiteral("/tmp/orlune-runtime-%1").arg(::geteuid());
    if (QFileInfo::exists(shared))
        GTEST_SKIP() << shared.toStdString() << " exists already; not touching it";
    QProcess squatter;
    other.prepare(squatter, QStringLiteral("mkdir"), {QStringLiteral("-m"), QStringLiteral("0700"), shared});
    squatter.start();
    ASSERT_TRUE(squatter.waitForFinished());
    ASSERT_EQ(squatter.exitCode(), 0) << squatter.readAllStandardError().toStdString();
    const auto removeShared = qScopeGuard([&] { QDir(shared).removeRecursively(); });

    const auto app = makeAppDir(uniqueInstanceId());
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("HOME"), data.filePath(QStringLiteral("home")));
    ASSERT_TRUE(QDir(data.path()).mkdir(QStringLiteral("home")));
    QProcess *tray = start(*app, env);
    ASSERT_TRUE(waitUntilRunning(tray, *app)) << tray->readAllStandardError().toStdString();
    tray->terminate();
    expectCleanExit(tray);
#endif
}

TEST_F(TrayProcessTest, PlaceholdersInNamesStayLiteralInTheStartupLine)
{
    const QString id = QStringLiteral("%8") + uniqueInstanceId() + QStringLiteral("%1");
    const auto app = makeAppDir(id);
    app->writeFile(QStringLiteral("params.ini"),
                   "[product]\ninstanceId=" + id.toUtf8() + "\nserviceName=Svc%7\n");
    QProcess *tray = start(*app);
    ASSERT_TRUE(waitUntilRunning(tray, *app));
    const QString startup = entriesOf(tray->processId(), logOf(*app)).first();
    EXPECT_TRUE(startup.contains(" instanceId=" + id + " serviceName=Svc%7 pipePath="))
        << startup.toStdString();
    EXPECT_TRUE(startup.contains(QStringLiteral(" PID=%1 logPath=").arg(tray->processId())));
    tray->terminate();
    expectCleanExit(tray);
}

TEST_F(TrayProcessTest, AGarbageParameterFileDoesNotStopTheTray)
{
    const auto app = makeAppDir(uniqueInstanceId());
    static const char garbage[] = "\x01\xff\xfe[[[\n=\n[product\nappName=@Variant(\\0\\0\\x7f)\n\0\0\xc3(";
    app->writeFile(QStringLiteral("params.ini"), QByteArray(garbage, sizeof garbage - 1));
    QProcess *tray = start(*app);
    ASSERT_TRUE(waitUntilRunning(tray, *app));
    EXPECT_EQ(tray->state(), QProcess::Running);
    tray->terminate();
    expectCleanExit(tray);
}

} // namespace
