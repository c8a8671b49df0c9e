#include "launcherrig.h"
#include "testenv.h"

#include "platform/localserver.h"

#include <core/skip.h>
#include <installation/names.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

// Only one client runs per installation; a second one is told so and ends.

namespace {

const int kExitRefused = LauncherRig::exitCodeAsSeen(-1);
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

    // Where this user's client of installation `id` serves its name.
    static QString serverPath(const QString &id)
    {
        platform::ErrorCode error = 0;
        return QString::fromStdString(
            platform::localServerName(installation::clientLocalServerName(id).toStdString(), error));
    }

    // A first client of installation `id` waits in its login form and a second one is refused.
    void expectOneClientFor(const QString &id)
    {
        rig.writeParams({{"product/instanceId", id}});
        QProcess *first = startWaitingClient();
        ASSERT_NE(first, nullptr) << id.toStdString();
        EXPECT_EQ(rig.runClient(), kExitRefused) << id.toStdString();
        EXPECT_EQ(first->state(), QProcess::Running) << id.toStdString();
        first->kill();
        first->waitForFinished(5000);
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
#ifndef Q_OS_WIN
    // The dead client's socket is still there (on Windows its pipe went with it).
    ASSERT_TRUE(QFileInfo::exists(serverPath(rig.instanceId())));
#endif

    QProcess *second = startWaitingClient();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(rig.trace().filter("messagebox").size(), 0);
    // The new client serves the name: the next one is refused.
    EXPECT_EQ(rig.runClient(), kExitRefused);
    EXPECT_TRUE(waitUntil([&] { return countLines(second, "new process startup") == 1; }, kWaitMs));
}

TEST_F(InstanceTest, SimultaneousStartsLeaveExactlyOneClient)
{
    constexpr int kRounds = 4;
    constexpr int kClients = 5;
    for (int round = 0; round < kRounds; ++round) {
        // All of them look for another client at the same moment.
        const QString together = QString::number(QDateTime::currentMSecsSinceEpoch() + 1500);
        std::vector<QProcess *> clients;
        for (int i = 0; i < kClients; ++i)
            clients.push_back(rig.startClient({}, {{"INIT_AT", together}}));
        const auto running = [&] {
            return std::count_if(clients.begin(), clients.end(),
                                 [](QProcess *c) { return c->state() != QProcess::NotRunning; });
        };
        // The refused ones end at once; one client stays in its login form.
        waitUntil([&] { return running() <= 1; }, kWaitMs);
        QThread::msleep(500);
        ASSERT_EQ(running(), 1) << "round " << round;
        for (QProcess *client : clients) {
            if (client->state() == QProcess::NotRunning) {
                EXPECT_EQ(client->exitCode(), kExitRefused) << "round " << round;
            }
        }
        // The survivor still serves the name.
        EXPECT_EQ(rig.runClient(), kExitRefused) << "round " << round;
        for (QProcess *client : clients) {
            client->kill();
            client->waitForFinished(5000);
        }
    }
}

TEST_F(InstanceTest, AnyIdentifierGuardsWithoutTouchingOtherFiles)
{
    // Where a name that climbs out of the temporary directory would point.
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    QFile victim(outside.filePath("victim"));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("keep me");
    victim.close();
    const QString climbing = "../" + QFileInfo(QDir::tempPath()).fileName() + "/" +
                             QFileInfo(outside.path()).fileName() + "/victim";
    ASSERT_EQ(QFileInfo(QDir::tempPath() + "/" + climbing).canonicalFilePath(),
              QFileInfo(victim.fileName()).canonicalFilePath());

    const QString planted = QString::fromUtf8("Zähler ü") + rig.instanceId();
#ifndef Q_OS_WIN
    // A file of this user's where the client serves its name stays, and so does the guard
    // (on Windows the name is a pipe's, with no file behind it).
    QFile plantedFile(serverPath(planted));
    ASSERT_TRUE(plantedFile.open(QIODevice::WriteOnly));
    plantedFile.write("mine");
    plantedFile.close();
#endif

    for (const QString &id : {climbing, "a/b" + rig.instanceId(), planted, QString(200, 'x')})
        expectOneClientFor(id);
    EXPECT_EQ(QFile(victim.fileName()).size(), 7);
#ifndef Q_OS_WIN
    EXPECT_EQ(QFile(plantedFile.fileName()).size(), 4);
#endif
}

TEST_F(InstanceTest, AnotherUsersFilesNeitherBlockTheClientNorGetDeleted)
{
    SKIP_ON_WINDOWS("needs a second local user, which the kit makes with useradd");
    const ThrowawayUser other;
    if (!other.valid())
        GTEST_SKIP() << "creating another user needs root and useradd";
    // Whatever another user puts where the name once lived in the shared temporary directory:
    // a file, a folder, a server that answers.
    const QString fileId = rig.instanceId() + "F";
    const QString folderId = rig.instanceId() + "D";
    const QString serverId = rig.instanceId() + "S";
    const QString shared = QDir::tempPath() + "/";
    ASSERT_TRUE(other.run("echo theirs > '" + shared + fileId + "'"));
    ASSERT_TRUE(other.run("mkdir '" + shared + folderId + "'"));
    QLocalServer squatter;
    ASSERT_TRUE(squatter.listen(shared + serverId));
    ASSERT_TRUE(other.own(shared + serverId));

    for (const QString &id : {fileId, folderId, serverId})
        expectOneClientFor(id);
    EXPECT_EQ(readLines(shared + fileId), QStringList{"theirs"});
    EXPECT_TRUE(QFileInfo(shared + folderId).isDir());
    EXPECT_TRUE(QFileInfo::exists(shared + serverId));
    QFile::remove(shared + fileId);
    QDir().rmdir(shared + folderId);
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
