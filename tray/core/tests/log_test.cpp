#include "config.h"
#include "log.h"

#include <activeappdir.h>
#include <testenv.h>

#include <core/skip.h>
#include <platform/ids.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <utility>
#include <vector>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QRegularExpression linePattern(QStringLiteral(
    R"(^(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}) \[([A-Z]+)\] PID=(\d+) TID=(\d+) (.*)$)"));

struct LogLine {
    QString time;
    QString level;
    QString pid;
    QString tid;
    QString text;
};

// How the log ends its lines on this system.
#ifdef Q_OS_WIN
const QByteArray lineEnd = QByteArrayLiteral("\r\n");
#else
const QByteArray lineEnd = QByteArrayLiteral("\n");
#endif

// Splits a line of the log into its fields; fails the test when the line is malformed.
LogLine parse(const QString &line)
{
    const QRegularExpressionMatch m = linePattern.match(line);
    EXPECT_TRUE(m.hasMatch()) << line.toStdString();
    return {m.captured(1), m.captured(2), m.captured(3), m.captured(4), m.captured(5)};
}

// Stands for the handler Qt had before the log was set up; keeps what it received.
QMutex capturedMutex;
std::vector<std::pair<QtMsgType, QString>> captured;

void captureHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QMutexLocker locker(&capturedMutex);
    captured.emplace_back(type, message);
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.isValid());
        ASSERT_TRUE(data.isValid());
        oldDataHome = qgetenv("XDG_DATA_HOME");
        setDataHome(data.filePath("share"));
        captured.clear();
        originalHandler = qInstallMessageHandler(captureHandler);
    }

    void TearDown() override
    {
        shutdownLog();
        qInstallMessageHandler(originalHandler);
        if (oldDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", oldDataHome);
    }

    static void setDataHome(const QString &path) { qputenv("XDG_DATA_HOME", QFile::encodeName(path)); }

    // Names the application as the tray does before it opens its log.
    static QString startLog()
    {
        QCoreApplication::setOrganizationName(appName());
        QCoreApplication::setApplicationName(QStringLiteral("DizovuvOdiv"));
        return setupLog();
    }

    QString firstCandidate() const { return app.path() + QStringLiteral("/log"); }
    QString fallbackDir(const QString &folder = QStringLiteral("Orlune")) const
    {
        return data.filePath("share/Orlune/DizovuvOdiv/" + folder);
    }
    void blockFirstCandidate() { app.writeFile(QStringLiteral("log"), "a file, not a folder"); }

    static std::vector<std::pair<QtMsgType, QString>> capturedMessages()
    {
        const QMutexLocker locker(&capturedMutex);
        return captured;
    }

    ActiveAppDir app;
    QTemporaryDir data;
    QByteArray oldDataHome;
    QtMessageHandler originalHandler = nullptr;
};

TEST_F(LogTest, WritesOneFormattedLinePerMessageBesideTheExecutable)
{
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    const QString path = startLog();
    EXPECT_EQ(path, firstCandidate() + "/DizovuvOdiv.log");
    qInfo() << "DizovuvOdiv hello" << 42 << QStringLiteral("quoted");
    // On disk at once, not only when the log closes.
    EXPECT_EQ(readLines(path).size(), 1);
    shutdownLog();
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), 1);
    const LogLine line = parse(lines[0]);
    const QDateTime at = QDateTime::fromString(line.time, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    EXPECT_TRUE(at >= before && at <= after) << line.time.toStdString();
    EXPECT_EQ(line.level, "INFO");
    EXPECT_EQ(line.pid, QString::number(QCoreApplication::applicationPid()));
#ifdef Q_OS_LINUX
    // The main thread's id is the process id on Linux.
    EXPECT_EQ(line.tid, line.pid);
#endif
    EXPECT_EQ(line.text, "DizovuvOdiv hello 42 \"quoted\"");

    // Each message also reached the handler installed before, exactly as sent.
    const auto seen = capturedMessages();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, QtInfoMsg);
    EXPECT_EQ(seen[0].second, "DizovuvOdiv hello 42 \"quoted\"");
}

TEST_F(LogTest, LevelNames)
{
    const QString path = startLog();
    qDebug("d");
    qInfo("i");
    qWarning("w");
    qCritical("c");
    // Called directly: a fatal message through qFatal would end the test process.
    const QMessageLogContext context;
    logMessageHandler(QtFatalMsg, context, QStringLiteral("f"));
    logMessageHandler(static_cast<QtMsgType>(7), context, QStringLiteral("u"));
    shutdownLog();

    QStringList levels;
    for (const QString &line : readLines(path))
        levels << parse(line).level + "=" + parse(line).text;
    EXPECT_EQ(levels, QStringList({"DEBUG=d", "INFO=i", "WARN=w", "CRITICAL=c", "FATAL=f", "UNKNOWN=u"}));
}

TEST_F(LogTest, LineBreaksBecomeBlanksAndPlaceholdersStayLiteral)
{
    const QString path = startLog();
    qInfo().noquote() << "a\nb";
    qInfo().noquote() << "a\r\nb";
    qInfo().noquote() << "x\ry\n";
    qInfo().noquote() << "literal %1 %2 %5 %%";
    qInfo().noquote() << QStringLiteral("Gr\u00fc\u00dfe \u2713\nnext");
    shutdownLog();

    QStringList texts;
    for (const QString &line : readLines(path))
        texts << parse(line).text;
    EXPECT_EQ(texts, QStringList({"a b", "a  b", "x y ", "literal %1 %2 %5 %%",
                                  QStringLiteral("Gr\u00fc\u00dfe \u2713 next")}));
    EXPECT_EQ(capturedMessages().at(1).second, "a\r\nb");
}

TEST_F(LogTest, EachThreadLogsItsOwnThreadId)
{
    const QString path = startLog();
    unsigned long workerId = 0;
    std::thread worker([&workerId] {
        workerId = platform::currentThreadId();
        qInfo("from worker");
    });
    worker.join();
    qInfo("from main");
    shutdownLog();

    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), 2);
    const LogLine fromWorker = parse(lines[0]);
    const LogLine fromMain = parse(lines[1]);
    EXPECT_EQ(fromWorker.text, "from worker");
    EXPECT_EQ(fromWorker.tid, QString::number(workerId));
    EXPECT_NE(fromWorker.tid, fromMain.tid);
    EXPECT_EQ(fromWorker.pid, fromMain.pid);
}

TEST_F(LogTest, ConcurrentLinesNeitherInterleaveNorGetLost)
{
    constexpr int threadCount = 8;
    constexpr int perThread = 400;
    const QString payload(300, QLatin1Char('x'));
    const QString path = startLog();
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([t, &payload] {
            for (int i = 0; i < perThread; ++i)
                qInfo().noquote() << QStringLiteral("t=%1 i=%2 %3").arg(t).arg(i).arg(payload);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    shutdownLog();

    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), threadCount * perThread);
    const QRegularExpression textPattern(QStringLiteral("^t=(\\d+) i=(\\d+) x{300}$"));
    std::map<int, int> nextOfThread;
    std::map<int, QString> tidOfThread;
    for (const QString &line : lines) {
        const LogLine parsed = parse(line);
        const QRegularExpressionMatch m = textPattern.match(parsed.text);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        const int t = m.captured(1).toInt();
        // Each thread's lines arrive complete and in the order it wrote them.
        EXPECT_EQ(m.captured(2).toInt(), nextOfThread[t]++);
        if (tidOfThread.count(t) == 0)
            tidOfThread[t] = parsed.tid;
        EXPECT_EQ(parsed.tid, tidOfThread[t]);
    }
    EXPECT_EQ(nextOfThread.size(), std::size_t(threadCount));
}

TEST_F(LogTest, AfterAFullDiskTheNextLineIsWrittenWholeOnceThereIsRoom)
{
    SKIP_ON_WINDOWS("fills the disk with a Linux file-size limit; the Win32 log file meets a full disk in "
                    "the OS layer's own suite");
    const QString path = startLog();
    qInfo("before the disk filled");
    {
        // Room for a few bytes only: the next line fits in part, as on a disk that fills.
        const testsupport::FileSizeLimit full(QFileInfo(path).size() + 10);
        ASSERT_TRUE(full.active());
        qInfo("lost for want of room");
    }
    qInfo("after room was made");

    const auto texts = [&path] {
        QStringList found;
        for (const QString &line : readLines(path))
            found << parse(line).text;
        return found;
    };
    // On disk at once, whole, and the lost line left no part behind.
    const QStringList expected{"before the disk filled", "after room was made"};
    EXPECT_EQ(texts(), expected);
    shutdownLog();
    EXPECT_EQ(texts(), expected);
}

TEST_F(LogTest, RotatesAtFourMebibytesExactly)
{
    constexpr qint64 limit = 4194304;
    const QString path = firstCandidate() + "/DizovuvOdiv.log";
    app.writeFile("log/DizovuvOdiv.log", QByteArray(limit, 'a'));
    app.writeFile("log/DizovuvOdiv.log.1", "older backup\n");

    ASSERT_EQ(startLog(), path);
    qInfo("fresh start");
    shutdownLog();
    EXPECT_EQ(QFileInfo(path + ".1").size(), limit);
    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(parse(lines[0]).text, "fresh start");

    app.writeFile("log/DizovuvOdiv.log", QByteArray(limit - 1, 'b'));
    ASSERT_EQ(startLog(), path);
    qInfo("continued");
    shutdownLog();
    EXPECT_EQ(QFileInfo(path + ".1").size(), limit);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.startsWith(QByteArray(limit - 1, 'b')));
    EXPECT_TRUE(content.endsWith(" continued" + lineEnd));
}

TEST_F(LogTest, FallsBackToTheDataFolderWithTheReasonFirst)
{
    SKIP_ON_WINDOWS("redirects the fallback log folder through XDG_DATA_HOME; Windows takes it from the "
                    "user's known AppData folder");
    app.writeFile("params.ini", "[product]\nappName=Orlune\ninstanceId=Site42\n");
    blockFirstCandidate();
    const QString dir = fallbackDir("Site42");
    QDir().mkpath(dir);
    QFile existing(dir + "/DizovuvOdiv.log");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("line of an earlier run\n");
    existing.close();

    EXPECT_EQ(startLog(), dir + "/DizovuvOdiv.log");
    qInfo("after setup");
    shutdownLog();

    const QStringList lines = readLines(dir + "/DizovuvOdiv.log");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "line of an earlier run");
    const LogLine warning = parse(lines[1]);
    EXPECT_EQ(warning.level, "WARN");
    EXPECT_EQ(warning.text, "Unable to create log directory: " + firstCandidate());
    EXPECT_EQ(parse(lines[2]).text, "after setup");
}

TEST_F(LogTest, AFileThatCannotBeOpenedIsReportedWithItsError)
{
    SKIP_ON_WINDOWS("redirects the fallback log folder through XDG_DATA_HOME; Windows takes it from the "
                    "user's known AppData folder");
    // The folder exists, but a folder stands where the file should be.
    QDir().mkpath(firstCandidate() + "/DizovuvOdiv.log");
    const QString path = startLog();
    EXPECT_EQ(path, fallbackDir() + "/DizovuvOdiv.log");
    shutdownLog();

    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), 1);
    const LogLine warning = parse(lines[0]);
    EXPECT_EQ(warning.level, "WARN");
    const QString prefix = "Unable to open log file: " + firstCandidate() + "/DizovuvOdiv.log, error=";
    EXPECT_TRUE(warning.text.startsWith(prefix)) << warning.text.toStdString();
    EXPECT_GT(warning.text.size(), prefix.size());
}

TEST_F(LogTest, NeverWritesThroughALinkOrIntoAFolderOthersControl)
{
#ifdef Q_OS_WIN
    SKIP_ON_WINDOWS("symbolic links and folder modes of other users, which the POSIX log file refuses");
#else
    // A link planted where the log goes is not followed: the log moves on to the next folder.
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    app.writeFile("victim-content", "");
    ASSERT_TRUE(QFile::copy(app.filePath("victim-content"), victim));
    QDir().mkpath(firstCandidate());
    ASSERT_TRUE(QFile::link(victim, firstCandidate() + "/DizovuvOdiv.log"));
    EXPECT_EQ(startLog(), fallbackDir() + "/DizovuvOdiv.log");
    qInfo("after setup");
    shutdownLog();
    EXPECT_EQ(QFileInfo(victim).size(), 0);
    EXPECT_TRUE(
        parse(readLines(fallbackDir() + "/DizovuvOdiv.log").value(0))
            .text.startsWith("Unable to open log file: " + firstCandidate() + "/DizovuvOdiv.log, error="));

    // What the log creates is writable by its user only, whatever the umask.
    QDir(firstCandidate()).removeRecursively();
    QDir(fallbackDir()).removeRecursively();
    const mode_t oldMask = ::umask(0);
    const QString path = startLog();
    ::umask(oldMask);
    shutdownLog();
    EXPECT_EQ(path, firstCandidate() + "/DizovuvOdiv.log");
    const auto writableByOthers = QFileDevice::WriteGroup | QFileDevice::WriteOther;
    EXPECT_FALSE(QFileInfo(firstCandidate()).permissions() & writableByOthers);
    EXPECT_FALSE(QFileInfo(path).permissions() & writableByOthers);

    // A folder of another user that others may write to is not used.
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    ASSERT_EQ(QProcess::execute("chown", {"65534", firstCandidate()}), 0);
    ASSERT_TRUE(QFile::setPermissions(firstCandidate(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                            QFileDevice::WriteOther | QFileDevice::ExeOther));
    EXPECT_EQ(startLog(), fallbackDir() + "/DizovuvOdiv.log");
#endif
}

TEST_F(LogTest, NoUsableFolderLeavesQtsHandlerInCharge)
{
    SKIP_ON_WINDOWS("redirects the fallback log folder through XDG_DATA_HOME; Windows takes it from the "
                    "user's known AppData folder");
    blockFirstCandidate();
    app.writeFile("share", "a file, not a folder");
    setDataHome(app.filePath("share"));

    EXPECT_EQ(startLog(), QString());
    qInfo("still reported");
    const auto seen = capturedMessages();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].second, "still reported");
    shutdownLog();
    // Shutting down a log that never opened is silent.
    EXPECT_EQ(capturedMessages().size(), 1u);

    QFile blocked(app.filePath("log"));
    ASSERT_TRUE(blocked.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocked.readAll(), "a file, not a folder");
    EXPECT_TRUE(QDir(data.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(LogTest, NamesNeverLeadOutOfTheDataFolder)
{
    SKIP_ON_WINDOWS("redirects the fallback log folder through XDG_DATA_HOME; Windows takes it from the "
                    "user's known AppData folder");
    blockFirstCandidate();
    const QString base = data.filePath("share/Orlune/DizovuvOdiv/");

    app.writeFile("params.ini", "[product]\ninstanceId=../../../escaped\n");
    EXPECT_EQ(startLog(), base + "..%2F..%2F..%2Fescaped/DizovuvOdiv.log");
    shutdownLog();

    app.writeFile("params.ini", "[product]\ninstanceId=..\n");
    EXPECT_EQ(startLog(), base + "%2E%2E/DizovuvOdiv.log");
    shutdownLog();

    app.writeFile("params.ini", "[product]\ninstanceId=/absolute\n");
    EXPECT_EQ(startLog(), base + "%2Fabsolute/DizovuvOdiv.log");
    shutdownLog();

    // The product name becomes the organisation folder; one that climbs out gets no log.
    app.writeFile("params.ini", "[product]\nappName=../../../outside\ninstanceId=x\n");
    EXPECT_EQ(startLog(), QString());
    shutdownLog();

    EXPECT_FALSE(QFileInfo::exists(data.filePath("escaped")));
    EXPECT_FALSE(QFileInfo::exists(data.filePath("outside")));
    EXPECT_EQ(QDir(data.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"share"});
    EXPECT_EQ(QDir(data.filePath("share")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"Orlune"});
}

TEST_F(LogTest, NothingIsWrittenAfterShutdown)
{
    const QString path = startLog();
    qInfo("before");
    shutdownLog();
    qInfo("after");
    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(parse(lines[0]).text, "before");
    // The restored handler gets the later message.
    EXPECT_EQ(capturedMessages().back().second, "after");
}

TEST_F(LogTest, SettingUpTwiceDoesNotChainTheHandlerToItself)
{
    startLog();
    const QString path = startLog();
    qInfo("once");
    shutdownLog();
    EXPECT_EQ(readLines(path).size(), 1);
    EXPECT_EQ(capturedMessages().size(), 1u);
}

} // namespace
