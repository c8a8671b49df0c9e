#include "controlchannel.h"

#include "eventlog.h"
#include "localname.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <memory>

namespace {

constexpr qsizetype kMaxCommandBytes = 4096;

} // namespace

ControlServer::ControlServer(const QString &serverName, ControlInterpreter &interpreter, int readTimeoutMs,
                             QObject *parent)
    : QObject(parent), m_name(serverName), m_interpreter(interpreter), m_readTimeoutMs(readTimeoutMs),
      m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::onNewConnection);
}

bool ControlServer::listen(QString *error)
{
    if (!claimServerName(m_name, error))
        return false;
    if (m_server->listen(m_name))
        return true;
    *error = QStringLiteral("cannot serve the control channel %1: %2").arg(m_name, m_server->errorString());
    return false;
}

void ControlServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        auto *timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] {
            printEvent(QStringLiteral("control: no complete command in time, connection closed"));
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer, timer] {
            if (!timer->isActive()) // answered already
                return;
            *buffer += socket->readAll();
            const qsizetype end = buffer->indexOf('\n');
            if (end < 0 && buffer->size() <= kMaxCommandBytes)
                return;
            timer->stop();
            handle(socket, end < 0 ? QByteArray() : buffer->left(end));
        });
        timer->start(m_readTimeoutMs);
    }
}

void ControlServer::handle(QLocalSocket *socket, const QByteArray &line)
{
    const QString command = QString::fromUtf8(line).trimmed();
    const ControlReply reply = command.isEmpty() ? ControlReply{QStringLiteral("error: no command"), false}
                                                 : m_interpreter.execute(command);
    printEvent(QStringLiteral("control \"%1\" -> %2").arg(command, reply.text));
    socket->write(reply.text.toUtf8() + '\n');
    socket->flush();
    socket->disconnectFromServer();
    if (reply.quit)
        emit quitRequested();
}

ControlClientResult sendControlCommand(const QString &serverName, const QString &command, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        printError(
            QStringLiteral("cannot reach the control channel %1: %2").arg(serverName, socket.errorString()));
        return ControlUnreachable;
    }
    socket.write(command.toUtf8() + '\n');
    socket.flush();
    QByteArray reply;
    while (!reply.contains('\n') && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        reply += socket.readAll();
    }
    reply += socket.readAll();
    const QString text = QString::fromUtf8(reply).trimmed();
    if (!reply.contains('\n')) {
        printError(QStringLiteral("no reply from the control channel %1").arg(serverName));
        return ControlUnreachable;
    }
    printEvent(text);
    return text == QLatin1String("ok") ? ControlOk : ControlRefused;
}
