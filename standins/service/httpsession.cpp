#include "httpsession.h"

#include "eventlog.h"
#include "http.h"
#include "webserver.h"

#include <QTcpSocket>

namespace {

constexpr qsizetype kMaxHeadBytes = 8192;

} // namespace

HttpSession::HttpSession(QTcpSocket *socket, WebServer &server, int readTimeoutMs)
    : QObject(&server), m_socket(socket), m_server(server)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpSession::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, [this] {
        printEvent(QStringLiteral("http request not complete within %1 ms: connection closed")
                       .arg(m_readTimer.interval()));
        m_socket->abort();
        deleteLater();
    });
    m_readTimer.start(readTimeoutMs);
}

void HttpSession::onReadyRead()
{
    if (m_answered) {
        m_socket->readAll();
        return;
    }
    m_head += m_socket->readAll();
    const bool complete = m_head.contains("\r\n\r\n");
    if (!complete && m_head.size() <= kMaxHeadBytes)
        return;
    m_answered = true;
    m_readTimer.stop();
    // An over-long head is answered as a bad request: its request line is not trusted.
    m_socket->write(complete ? m_server.respond(m_head) : m_server.respond(QByteArray()));
    m_socket->disconnectFromHost();
}
