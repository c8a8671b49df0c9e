#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;
class WebServer;

// One HTTP connection: reads the request head, writes the web server's response, closes.
// Deletes itself when done; a client that sends no complete head in time is dropped.
class HttpSession : public QObject {
    Q_OBJECT
public:
    HttpSession(QTcpSocket *socket, WebServer &server, int readTimeoutMs);

private:
    void onReadyRead();

    QTcpSocket *m_socket;
    WebServer &m_server;
    QByteArray m_head;
    QTimer m_readTimer;
    bool m_answered = false;
};
