#include "http.h"

#include <QList>

namespace {

QByteArray reasonPhrase(int code)
{
    switch (code) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    default:
        return "Internal Server Error";
    }
}

} // namespace

HttpRequestLine parseHttpRequestLine(const QByteArray &head)
{
    const qsizetype end = head.indexOf("\r\n");
    const QList<QByteArray> parts = head.left(end < 0 ? head.size() : end).split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.") || parts[0].isEmpty() ||
        !parts[1].startsWith('/'))
        return {};
    return {parts[0], parts[1], true};
}

QByteArray httpResponse(int code, const QByteArray &body)
{
    return "HTTP/1.1 " + QByteArray::number(code) + ' ' + reasonPhrase(code) +
           "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}
