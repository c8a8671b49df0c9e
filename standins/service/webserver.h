#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QTcpServer;

// The product's local web server as far as the launcher waits for it: TCP on 127.0.0.1,
// HTTP/1.1 "GET /status" answered with {"rights":[1],"status":2,"superUser":1}. It can be
// closed (connects are refused), report another status or a sequence of them, turn away the
// first connections without an answer, report a failed super-user query (-1) and withhold
// right 1 (an empty "rights").
class WebServer : public QObject {
    Q_OBJECT
public:
    WebServer(quint16 port, int readTimeoutMs, QObject *parent = nullptr);

    quint16 port() const { return m_port; }
    // "http on" / "http off". False, with the reason, when the port cannot be bound.
    bool setServing(bool serving, QString *error);
    bool serving() const;

    // A fixed status; ends a sequence.
    void setStatus(int status);
    // Each GET /status takes the next value; the last one stays.
    void setStatusSequence(const QList<int> &statuses);
    // The next `count` connections are closed at once, without reading or answering.
    void setDelayedProbes(int count) { m_probesToClose = count; }
    void setSuperUser(int value) { m_superUser = value; }
    void setRight1(bool granted) { m_right1 = granted; }

    // The whole HTTP response to a request head; a GET /status advances the sequence.
    QByteArray respond(const QByteArray &head);

private:
    void onNewConnection();
    int takeStatus();

    quint16 m_port;
    int m_readTimeoutMs;
    QTcpServer *m_server;
    int m_status = 2;
    QList<int> m_sequence;
    int m_probesToClose = 0;
    int m_superUser = 1;
    bool m_right1 = true;
    int m_connections = 0;
};
