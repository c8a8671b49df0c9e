#include "statusquery.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QTcpSocket>

namespace {

constexpr qsizetype kMaxAnswerBytes = qsizetype{64} * 1024;

struct HttpAnswer {
    int code = 0;
    QByteArray body;
};

// Parses a complete answer; false while more bytes are needed or when it is not HTTP.
bool parseAnswer(const QByteArray &bytes, bool peerClosed, HttpAnswer &answer, bool &malformed)
{
    const qsizetype headerEnd = bytes.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        malformed = peerClosed;
        return false;
    }
    const QList<QByteArray> lines = bytes.left(headerEnd).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    if (statusLine.size() < 2 || !statusLine.first().startsWith("HTTP/")) {
        malformed = true;
        return false;
    }
    answer.code = statusLine.at(1).toInt();
    qsizetype contentLength = -1;
    for (const QByteArray &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
            contentLength = line.mid(colon + 1).trimmed().toLongLong();
    }
    const QByteArray body = bytes.mid(headerEnd + 4);
    if (contentLength >= 0 && body.size() >= contentLength) {
        answer.body = body.left(contentLength);
        return true;
    }
    if (peerClosed) {
        answer.body = body;
        return true;
    }
    return false;
}

} // namespace

std::optional<QJsonObject> queryServerStatus(const QString &host, int port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTcpSocket socket;
    socket.connectToHost(host, static_cast<quint16>(port));
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return std::nullopt;
    socket.write("GET /status HTTP/1.1\r\nHost: " + host.toUtf8() + ':' + QByteArray::number(port) +
                 "\r\nConnection: close\r\n\r\n");

    QByteArray bytes;
    HttpAnswer answer;
    for (;;) {
        const bool closed = socket.state() == QAbstractSocket::UnconnectedState;
        bool malformed = false;
        if (parseAnswer(bytes, closed, answer, malformed))
            break;
        if (malformed || closed || bytes.size() > kMaxAnswerBytes || deadline.hasExpired())
            return std::nullopt;
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
            socket.state() != QAbstractSocket::UnconnectedState)
            return std::nullopt;
        bytes += socket.readAll();
    }
    if (answer.code != 200)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}
