#pragma once

// Test clients of the stand-in's pipe and web server, which read what arrives as it arrives.

#include <standinservice.h>

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The local server name the tray derives for the stand-in's installation.
QString pipeNameOf(const StandInService &standIn);

// What a client saw of one pipe exchange, reading until the server closed or `waitMs` passed.
struct PipeExchange {
    bool connected = false;
    QList<QByteArray> chunks; // one entry per read, as the bytes arrived
    bool closedByServer = false;
    qint64 firstByteMs = -1; // time from the request to the first byte
    QByteArray bytes() const;
    QJsonObject json() const; // empty when the bytes are not one JSON object
};
PipeExchange exchange(const QString &serverName, const QByteArray &request, int waitMs = 3000);

// The local server accepts a connection within `timeoutMs`.
bool canConnect(const QString &serverName, int timeoutMs = 300);

struct HttpExchange {
    bool connected = false;
    int code = 0;
    QByteArray body;
    QByteArray raw;
    QJsonObject json() const;
};
HttpExchange httpRequest(quint16 port, const QByteArray &request);
HttpExchange httpGetStatus(quint16 port);
