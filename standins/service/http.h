#pragma once

#include <QByteArray>

// The little HTTP/1.1 the stand-in's web server speaks.

struct HttpRequestLine {
    QByteArray method;
    QByteArray path;
    bool valid = false;
};

// The request line of a request head ("GET /status HTTP/1.1\r\n...").
HttpRequestLine parseHttpRequestLine(const QByteArray &head);

// A complete response with a JSON body, Content-Length and "Connection: close".
QByteArray httpResponse(int code, const QByteArray &body);
