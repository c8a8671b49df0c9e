#include "processlookup.h"
#include "watcherthreads.h"

#include "appdir.h"
#include "platform/processes.h"
#include "testenv.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Finding and ending processes by executable name, with copies of a harmless program run
// under names no other process has.

namespace {

class ProcessLookupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bin.isValid()); }
    void TearDown() override
    {
        for (const auto &process : processes) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    // Starts a sleeping process whose executable file is called `name` (with .exe on Windows).
    QProcess *startNamed(const QString &name)
    {
        const QString path = bin.filePath(AppDir::programFileName(name));
        if (!QFile::exists(path))
            QFile::copy(sleeper(), path);
        auto process = std::make_unique<QProcess>();
        process->start(path, {"60"});
        process->waitForStarted(5000);
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    static QString sleeper()
    {
#ifdef Q_OS_WIN
        return QStringLiteral(LAUNCHER_COMMAND_SIM);
#else
        return QStandardPaths::findExecutable("sleep");
#endif
    }

    static bool alive(qint64 pid)
    {
        platform::ProcessHandle handle = platform::ProcessHandle::open(
            static_cast<unsigned long>(pid), platform::ProcessHandle::Access::Synchronize);
        return handle.valid() && handle.wait(0) == platform::kWaitTimeout;
    }

    // Short enough for the kernel's own process name.
    static QString uniqueName()
    {
        return "pl" + QUuid::createUuid().toString(QUuid::Id128).left(10);
    }

    QTemporaryDir bin;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(ProcessLookupTest, NameIsComparedIgnoringLetterCase)
{
    const QString name = uniqueName();
    QProcess *process = startNamed(name.toUpper());
    unsigned long pid = 0;
    EXPECT_TRUE(findProcessByName(AppDir::programFileName(name.toLower()).toUtf8().constData(), pid));
    EXPECT_EQ(pid, static_cast<unsigned long>(process->processId()));
    EXPECT_FALSE(findProcessByName(uniqueName().toUtf8().constData(), pid));
}

TEST_F(ProcessLookupTest, OnlyTheFirstProcessInSnapshotOrderIsEnded)
{
    const QString name = uniqueName();
    const qint64 a = startNamed(name)->processId();
    const qint64 b = startNamed(name)->processId();

    std::vector<platform::ProcessEntry> snapshot;
    platform::ErrorCode error = 0;
    ASSERT_TRUE(platform::snapshotProcesses(snapshot, error));
    qint64 first = 0;
    for (const platform::ProcessEntry &entry : snapshot) {
        if (entry.pid == static_cast<unsigned long>(a) || entry.pid == static_cast<unsigned long>(b)) {
            first = static_cast<qint64>(entry.pid);
            break;
        }
    }
    const qint64 second = first == a ? b : a;

    unsigned long found = 0;
    ASSERT_TRUE(findProcessByName(AppDir::programFileName(name).toUtf8().constData(), found));
    EXPECT_EQ(static_cast<qint64>(found), first);
    EXPECT_TRUE(terminateProcessById(found));
    EXPECT_TRUE(waitUntil([&] { return !alive(first); }, 5000));
    EXPECT_TRUE(alive(second));
}

TEST_F(ProcessLookupTest, EndingAProcessThatDoesNotExistFails)
{
    QProcess *process = startNamed(uniqueName());
    const qint64 pid = process->processId();
    process->kill();
    ASSERT_TRUE(process->waitForFinished(5000));
    // The system may keep an ended process's object for a moment after its last handle closed.
    ASSERT_TRUE(waitUntil(
        [&] {
            return !platform::ProcessHandle::open(static_cast<unsigned long>(pid),
                                                  platform::ProcessHandle::Access::Synchronize)
                        .valid();
        },
        5000));
    EXPECT_FALSE(terminateProcessById(static_cast<unsigned long>(pid)));
}

TEST_F(ProcessLookupTest, TypeperfCleanupEndsALoggerNamedInCapitals)
{
    QProcess *logger = startNamed("TYPEPERF");
    const qint64 pid = logger->processId();
    ASSERT_TRUE(alive(pid));
    killTypeperfProcess();
    EXPECT_TRUE(waitUntil([&] { return logger->state() == QProcess::NotRunning; }, 5000));
}

} // namespace
