#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// GET /status from the product's web server: the JSON object of a 200 answer, or nothing when
// the server cannot be reached, answers another code or no JSON object, or takes longer than
// `timeoutMs` in all.
std::optional<QJsonObject> queryServerStatus(const QString &host, int port, int timeoutMs);
