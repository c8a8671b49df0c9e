#pragma once

#include <QObject>
#include <QString>

#include "control.h"

class QLocalServer;
class QLocalSocket;

// The control channel: a local server beside the pipe that takes one text command per
// connection and answers "ok" or "error: <reason>" on one line.
class ControlServer : public QObject {
    Q_OBJECT
public:
    ControlServer(const QString &serverName, ControlInterpreter &interpreter, int readTimeoutMs,
                  QObject *parent = nullptr);

    bool listen(QString *error);

signals:
    // A "quit" was answered.
    void quitRequested();

private:
    void onNewConnection();
    void handle(QLocalSocket *socket, const QByteArray &line);

    QString m_name;
    ControlInterpreter &m_interpreter;
    int m_readTimeoutMs;
    QLocalServer *m_server;
};

// Exit codes of the client mode (--send).
enum ControlClientResult { ControlOk = 0, ControlRefused = 1, ControlUnreachable = 2 };

// Sends one command to the control channel `serverName`, prints the reply and tells how it went.
ControlClientResult sendControlCommand(const QString &serverName, const QString &command, int timeoutMs);
