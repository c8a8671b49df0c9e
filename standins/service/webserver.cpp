#include "webserver.h"

#include "eventlog.h"
#include "http.h"
#include "httpsession.h"
#include "protocol.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

WebServer::WebServer(quint16 port, int readTimeoutMs, QObject *parent)
    : QObject(parent), m_port(port), m_readTimeoutMs(readTimeoutMs), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &WebServer::onNewConnection);
}

bool WebServer::setServing(bool serving, QString *error)
{
    if (serving == this->serving())
        return true;
    if (!serving) {
        m_server->close();
        printEvent(QStringLiteral("http off"));
        return true;
    }
    if (!m_server->listen(QHostAddress::LocalHost, m_port)) {
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(m_port).arg(m_server->errorString());
        return false;
    }
    printEvent(QStringLiteral("http on 127.0.0.1:%1").arg(m_port));
    return true;
}

bool WebServer::serving() const
{
    return m_server->isListening();
}

void WebServer::setStatus(int status)
{
    m_status = status;
    m_sequence.clear();
}

void WebServer::setStatusSequence(const QList<int> &statuses)
{
    m_sequence = statuses;
}

QByteArray WebServer::respond(const QByteArray &head)
{
    const HttpRequestLine request = parseHttpRequestLine(head);
    int code = 200;
    QJsonObject body;
    if (!request.valid) {
        code = 400;
        body.insert(QStringLiteral("error"), QStringLiteral("bad request"));
    } else if (request.method != "GET") {
        code = 405;
        body.insert(QStringLiteral("error"), QStringLiteral("only GET"));
    } else if (request.path.split('?').first() != "/status") {
        code = 404;
        body.insert(QStringLiteral("error"), QStringLiteral("not found"));
    } else {
        body.insert(QStringLiteral("status"), takeStatus());
        body.insert(QStringLiteral("superUser"), m_superUser);
        body.insert(QStringLiteral("rights"), m_right1 ? QJsonArray{1} : QJsonArray{});
    }
    const QByteArray json = compactJson(body);
    const QString line = request.valid ? QString::fromLatin1(request.method + ' ' + request.path)
                                       : QStringLiteral("(bad request)");
    printEvent(QStringLiteral("http %1 -> %2 %3").arg(line).arg(code).arg(QString::fromUtf8(json)));
    return httpResponse(code, json);
}

void WebServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connections;
        if (m_probesToClose > 0) {
            --m_probesToClose;
            printEvent(QStringLiteral("http connection %1 closed without an answer (%2 more to close)")
                           .arg(m_connections)
                           .arg(m_probesToClose));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        new HttpSession(socket, *this, m_readTimeoutMs);
    }
}

int WebServer::takeStatus()
{
    if (!m_sequence.isEmpty())
        m_status = m_sequence.size() > 1 ? m_sequence.takeFirst() : m_sequence.first();
    return m_status;
}
