#include "brisalog.h"

#include <testenv.h>

#include <core/skip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <string>

#include <gtest/gtest.h>

// The client's rotating file log.

// Logs are never released; holding them where the process can still see them tells the leak
// checker so.
IBrisaLog *keptLogs[8];

namespace {

IBrisaLog *created()
{
    static int count = 0;
    IBrisaLog *log = CreateBrisaLog();
    keptLogs[count++ % 8] = log;
    return log;
}

TEST(BrisaLog, LinesCarryLevelAndProcessAndFullFilesRotate)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("client.log");
    IBrisaLog *log = created();
    log->setMode(IBrisaLog::FileOnly);
    ASSERT_TRUE(log->open(QFile::encodeName(path).constData(), 400, 2, IBrisaLog::AppendToCurrentFile));

    log->log(ILogHandler::Info, "first line");
    log->log(ILogHandler::Error, "second line");
    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.at(0).contains(" [info] PID=")) << lines.at(0).toStdString();
    EXPECT_TRUE(lines.at(0).endsWith(" first line"));
    EXPECT_TRUE(lines.at(1).contains(" [error] PID="));

    for (int i = 0; i < 40; ++i)
        log->log(ILogHandler::Info, "filler line that takes some room in the file");
    EXPECT_LE(QFile(path).size(), 400);
    EXPECT_TRUE(QFile::exists(dir.filePath("client.1.log")));
    EXPECT_TRUE(QFile::exists(dir.filePath("client.2.log")));
    // No more generations than asked for.
    EXPECT_FALSE(QFile::exists(dir.filePath("client.3.log")));
}

TEST(BrisaLog, ReopeningAppendsToTheCurrentFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("client.log");
    IBrisaLog *first = created();
    ASSERT_TRUE(first->open(QFile::encodeName(path).constData(), 10485760, 10, 0));
    first->log(ILogHandler::Info, "before");
    IBrisaLog *second = created();
    ASSERT_TRUE(second->open(QFile::encodeName(path).constData(), 10485760, 10, 0));
    second->log(ILogHandler::Info, "after");
    const QStringList lines = readLines(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.at(0).endsWith("before"));
    EXPECT_TRUE(lines.at(1).endsWith("after"));
}

TEST(BrisaLog, UnopenableFileIsReportedAndLinesAreDropped)
{
    QTemporaryDir dir;
    // A regular file stands where the log's directory should be.
    QFile blocker(dir.filePath("log"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    IBrisaLog *log = created();
    EXPECT_FALSE(log->open(QFile::encodeName(dir.filePath("log/client.log")).constData(), 1000, 2, 0));
    log->log(ILogHandler::Info, "nowhere to go");
    EXPECT_EQ(QFile(dir.filePath("log")).size(), 0);
}

TEST(BrisaLog, APlantedLinkIsNotFollowed)
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    QFile(victim).open(QIODevice::WriteOnly);
    const QString path = dir.filePath("client.log");
    const std::string failure = testsupport::makeFileSymlink(victim.toStdString(), path.toStdString());
    ASSERT_TRUE(failure.empty()) << failure;
    if (!QFileInfo::exists(path)) {
        SKIP_UNDER_WINE(
            "CreateSymbolicLinkW reports success but makes nothing here, so no link can be planted");
    }
    ASSERT_TRUE(QFileInfo(path).isSymLink());
    IBrisaLog *log = created();
    EXPECT_FALSE(log->open(QFile::encodeName(path).constData(), 1000, 2, IBrisaLog::AppendToCurrentFile));
    log->log(ILogHandler::Info, "must not reach the link's target");
    EXPECT_EQ(QFileInfo(victim).size(), 0);
}

} // namespace
