#include "localserverfile.h"

#include <core/skip.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Clearing the way for the instance server removes nothing but a dead server's socket.

namespace {

class LocalServerFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
};

TEST_F(LocalServerFileTest, DeadServersSocketIsRemoved)
{
    SKIP_ON_WINDOWS("a local server is a named pipe there, which leaves no file behind");
    // A socket whose server is gone: bound under one name, moved away before the server ends.
    const QString stale = dir.filePath("stale");
    {
        QLocalServer server;
        ASSERT_TRUE(server.listen(dir.filePath("live")));
        ASSERT_TRUE(QFile::rename(dir.filePath("live"), stale));
    }
    ASSERT_TRUE(QFile::exists(stale));
    EXPECT_TRUE(removeStaleServerFile(stale));
    EXPECT_FALSE(QFile::exists(stale));
}

TEST_F(LocalServerFileTest, LiveSocketIsKept)
{
    SKIP_ON_WINDOWS("a local server is a named pipe there, with no file in a folder");
    QLocalServer server;
    ASSERT_TRUE(server.listen(dir.filePath("live")));
    EXPECT_FALSE(removeStaleServerFile(dir.filePath("live")));
    EXPECT_TRUE(QFile::exists(dir.filePath("live")));
}

TEST_F(LocalServerFileTest, OtherFilesAreKept)
{
    QFile data(dir.filePath("data"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("keep me");
    data.close();
    EXPECT_FALSE(removeStaleServerFile(dir.filePath("data")));
    EXPECT_EQ(QFile(dir.filePath("data")).size(), 7);

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_FALSE(removeStaleServerFile(dir.filePath("folder")));
    EXPECT_FALSE(removeStaleServerFile(dir.filePath("missing")));
}

} // namespace
