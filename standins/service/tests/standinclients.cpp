#include "standinclients.h"

#include "names.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTcpSocket>

QString pipeNameOf(const StandInService &standIn)
{
    return pipeServerName(standIn.instanceId());
}

QByteArray PipeExchange::bytes() const
{
    QByteArray all;
    for (const QByteArray &chunk : chunks)
        all += chunk;
    return all;
}

QJsonObject PipeExchange::json() const
{
    return QJsonDocument::fromJson(bytes()).object();
}

PipeExchange exchange(const QString &serverName, const QByteArray &request, int waitMs)
{
    PipeExchange result;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(1000))
        return result;
    result.connected = true;
    QElapsedTimer clock;
    clock.start();
    socket.write(request);
    socket.flush();
    const QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            result.closedByServer = socket.state() == QLocalSocket::UnconnectedState;
            break;
        }
        if (result.firstByteMs < 0)
            result.firstByteMs = clock.elapsed();
        result.chunks.append(socket.readAll());
    }
    return result;
}

bool canConnect(const QString &serverName, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}

QJsonObject HttpExchange::json() const
{
    return QJsonDocument::fromJson(body).object();
}

HttpExchange httpRequest(quint16 port, const QByteArray &request)
{
    HttpExchange result;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return result;
    result.connected = true;
    socket.write(request);
    const QDeadlineTimer deadline(3000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        result.raw += socket.readAll();
    }
    result.raw += socket.readAll();
    const qsizetype headEnd = result.raw.indexOf("\r\n\r\n");
    if (headEnd >= 0) {
        result.code = result.raw.split(' ').value(1).toInt();
        result.body = result.raw.mid(headEnd + 4);
    }
    return result;
}

HttpExchange httpGetStatus(quint16 port)
{
    return httpRequest(port, "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}
