#include "libwebcommmgr.h"
#include "statusquery.h"

#include <activeappdir.h>
#include <testenv.h>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

// The server link against a scripted HTTP peer on a thread of its own, since every query
// blocks its caller.

namespace {

// Serves one connection: reads the request head, then writes `chunks` with `pauseMs` between
// them and closes unless told to keep the connection open.
class ScriptedPeer {
public:
    ScriptedPeer(QList<QByteArray> chunks, int pauseMs = 0, bool close = true)
    {
        m_port = freeTcpPort();
        m_thread = std::thread([this, chunks, pauseMs, close] {
            QTcpServer server;
            const bool listening = server.listen(QHostAddress::LocalHost, m_port);
            // Settled either way: a port taken meanwhile fails the test rather than hanging it.
            m_settled = true;
            if (!listening)
                return;
            if (!server.waitForNewConnection(5000))
                return;
            QTcpSocket *socket = server.nextPendingConnection();
            QByteArray head;
            while (!head.contains("\r\n\r\n") && socket->waitForReadyRead(3000))
                head += socket->readAll();
            m_request = head;
            for (const QByteArray &chunk : chunks) {
                socket->write(chunk);
                socket->waitForBytesWritten(1000);
                QThread::msleep(static_cast<unsigned long>(pauseMs));
            }
            if (close)
                socket->disconnectFromHost();
            else
                QThread::msleep(1500);
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
        });
        while (!m_settled)
            QThread::msleep(2);
    }
    ~ScriptedPeer() { m_thread.join(); }

    quint16 port() const { return m_port; }
    QByteArray request() const { return m_request; }

private:
    quint16 m_port = 0;
    std::atomic<bool> m_settled{false};
    QByteArray m_request;
    std::thread m_thread;
};

QByteArray answer(const QByteArray &status, const QByteArray &body, bool withLength = true)
{
    QByteArray bytes = "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\n";
    if (withLength)
        bytes += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return bytes + "Connection: close\r\n\r\n" + body;
}

const QByteArray kReady = R"({"status":2,"superUser":1,"rights":[1]})";

TEST(StatusQuery, AnswerWithLengthIsReadEvenWhenTheServerKeepsTheConnection)
{
    ScriptedPeer peer({answer("200 OK", kReady)}, 0, false);
    const auto status = queryServerStatus("127.0.0.1", peer.port(), 1000);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->value("status").toInt(), 2);
    EXPECT_TRUE(peer.request().startsWith("GET /status HTTP/1.1\r\n"));
}

TEST(StatusQuery, AnswerInPiecesWithoutLengthEndsWithTheConnection)
{
    const QByteArray whole = answer("200 OK", kReady, false);
    ScriptedPeer peer({whole.left(10), whole.mid(10, 40), whole.mid(50)}, 50);
    const auto status = queryServerStatus("127.0.0.1", peer.port(), 3000);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->value("superUser").toInt(), 1);
}

TEST(StatusQuery, FailuresGiveNoStatus)
{
    {
        ScriptedPeer peer({answer("500 Internal Server Error", kReady)});
        EXPECT_FALSE(queryServerStatus("127.0.0.1", peer.port(), 1000).has_value());
    }
    {
        ScriptedPeer peer({answer("200 OK", "not json")});
        EXPECT_FALSE(queryServerStatus("127.0.0.1", peer.port(), 1000).has_value());
    }
    {
        ScriptedPeer peer({"garbage without a head end"});
        EXPECT_FALSE(queryServerStatus("127.0.0.1", peer.port(), 1000).has_value());
    }
    {
        // Never answers: the query gives up after its time.
        ScriptedPeer peer({}, 0, false);
        EXPECT_FALSE(queryServerStatus("127.0.0.1", peer.port(), 300).has_value());
    }
    EXPECT_FALSE(queryServerStatus("127.0.0.1", freeTcpPort(), 1000).has_value());
}

class WebCommTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.isValid()); }

    void pointAt(quint16 port)
    {
        app.writeFile("params.ini", "[client]\ntorvikServerPort=" + QByteArray::number(port) + "\n");
    }

    ActiveAppDir app;
    // The library's own copy of the installation contract (Windows) is pointed here too.
    testsupport::ScopedEnv appDirHook{"ORLUNE_STANDIN_APPDIR", QFile::encodeName(app.path()).constData()};
    LibWebCommMgr *web = tqLibWebCommMgr();
};

TEST_F(WebCommTest, ReachableOnlyWhileSomethingListens)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    pointAt(server.serverPort());
    EXPECT_TRUE(web->isServerReachable(500));
    server.close();
    EXPECT_FALSE(web->isServerReachable(500));
}

TEST_F(WebCommTest, StatusSuperUserAndRightsComeFromTheServer)
{
    {
        ScriptedPeer peer({answer("200 OK", R"({"status":1,"superUser":0,"rights":[3,1]})")});
        pointAt(peer.port());
        EXPECT_EQ(web->getServerStatus(), 1);
    }
    {
        ScriptedPeer peer({answer("200 OK", R"({"status":1,"superUser":0,"rights":[3,1]})")});
        pointAt(peer.port());
        EXPECT_EQ(web->isHaveSuperUser(), 0);
    }
    {
        ScriptedPeer peer({answer("200 OK", R"({"status":1,"superUser":0,"rights":[3,1]})")});
        pointAt(peer.port());
        EXPECT_TRUE(web->getUserFunctionRights(TQ::RightExitClient));
    }
    {
        ScriptedPeer peer({answer("200 OK", R"({"status":2,"rights":[]})")});
        pointAt(peer.port());
        EXPECT_FALSE(web->getUserFunctionRights(TQ::RightExitClient));
    }
    {
        // An answer without the super-user field is a failed query.
        ScriptedPeer peer({answer("200 OK", R"({"status":2})")});
        pointAt(peer.port());
        EXPECT_EQ(web->isHaveSuperUser(), -1);
    }
}

TEST_F(WebCommTest, UnreachableServerGivesFailureValues)
{
    pointAt(freeTcpPort());
    EXPECT_EQ(web->getServerStatus(), -1);
    EXPECT_EQ(web->isHaveSuperUser(), -1);
    EXPECT_FALSE(web->getUserFunctionRights(TQ::RightExitClient));
}

} // namespace
