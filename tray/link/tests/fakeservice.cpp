#include "fakeservice.h"

#include "config.h"

#include <platform/pipe.h>

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutexLocker>
#include <QThread>

FakeService::FakeService(const Reply &defaultReply) : fallback(defaultReply)
{
    const QString serverName =
        QString::fromStdString(platform::localServerNameForPipe(pipePath().toStdString()));
    thread = std::thread([this, serverName] { serve(serverName); });
    while (ready.load() == 0)
        QThread::msleep(1);
}

FakeService::~FakeService()
{
    stop.store(true);
    thread.join();
}

void FakeService::queue(const Reply &reply)
{
    const QMutexLocker locker(&mutex);
    script.append(reply);
}

void FakeService::setDefault(const Reply &reply)
{
    const QMutexLocker locker(&mutex);
    fallback = reply;
}

QList<QByteArray> FakeService::requests() const
{
    const QMutexLocker locker(&mutex);
    return received;
}

FakeService::Reply FakeService::nextReply()
{
    const QMutexLocker locker(&mutex);
    Reply reply = script.isEmpty() ? fallback : script.takeFirst();
    // A deep copy: the bytes must not share a buffer with the test thread's copy.
    reply.bytes = QByteArray(reply.bytes.constData(), reply.bytes.size());
    return reply;
}

void FakeService::serve(const QString &serverName)
{
    QLocalServer server;
    QLocalServer::removeServer(serverName);
    if (serverName.isEmpty() || !server.listen(serverName)) {
        ready.store(-1);
        return;
    }
    ready.store(1);
    while (!stop.load()) {
        if (!server.waitForNewConnection(20))
            continue;
        QLocalSocket *socket = server.nextPendingConnection();
        ++accepted;
        const Reply reply = nextReply();
        if (reply.kind == Reply::Kind::CloseAtOnce) {
            socket->abort();
            delete socket;
            ++done;
            continue;
        }
        // The request is one line; a short extra wait catches anything sent after the line feed.
        QByteArray request;
        QElapsedTimer waited;
        waited.start();
        while (!request.contains('\n') && waited.elapsed() < 2000 && !stop.load()) {
            socket->waitForReadyRead(20);
            request += socket->readAll();
        }
        if (socket->waitForReadyRead(50))
            request += socket->readAll();
        {
            const QMutexLocker locker(&mutex);
            received.append(request);
        }
        if (reply.kind == Reply::Kind::Silent) {
            while (!stop.load() && socket->state() == QLocalSocket::ConnectedState)
                socket->waitForDisconnected(20);
        } else if (reply.kind == Reply::Kind::Answer) {
            if (reply.delayMs > 0)
                QThread::msleep(static_cast<unsigned long>(reply.delayMs));
            socket->write(reply.bytes);
            socket->waitForBytesWritten(1000);
            socket->flush();
        }
        socket->disconnectFromServer();
        if (socket->state() != QLocalSocket::UnconnectedState)
            socket->waitForDisconnected(200);
        delete socket;
        ++done;
    }
}
