#include "pipeprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace {

// A number that is not a whole number within the 32-bit range reads as the default, so a
// fraction or an overflow never turns into a plausible but wrong value.
int readInt32(const QJsonObject &object, const QString &key, int defaultValue)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return defaultValue;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number)
        return defaultValue;
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return defaultValue;
    return static_cast<int>(number);
}

// Truncated toward zero; clamped, because converting a double outside the 64-bit range is
// undefined.
qint64 readUptime(const QJsonObject &object)
{
    const QJsonValue value = object.value(QStringLiteral("uptime"));
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (std::isnan(number))
        return 0;
    constexpr double twoPow63 = 9223372036854775808.0;
    if (number >= twoPow63)
        return std::numeric_limits<qint64>::max();
    if (number < -twoPow63)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(number);
}

bool readBool(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isBool() && value.toBool();
}

QString readString(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

struct ProcessKind {
    bool listed = false;
    bool mainServer = false;
};

// Exact, case-sensitive matches: the service's own spelling is the contract.
ProcessKind classify(const QString &type, const QString &name)
{
    ProcessKind kind;
    kind.mainServer = type == QLatin1String("mainServer") || name == QLatin1String("Server");
    const bool database = type == QLatin1String("database");
    const bool webServer = type == QLatin1String("webServer") || name == QLatin1String("v7iZodore");
    const bool redis = type == QLatin1String("redis") || name == QLatin1String("redis-server");
    kind.listed = kind.mainServer || database || webServer || redis;
    return kind;
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray getStatusRequest()
{
    return QByteArrayLiteral("{\"cmd\":\"GET_STATUS\"}");
}

QByteArray setAutoStartRequest(bool enable)
{
    // QJsonObject keeps its keys sorted, so "cmd" precedes "enable".
    return compact(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("SET_AUTOSTART")},
                               {QStringLiteral("enable"), enable}});
}

QByteArray stopServiceRequest()
{
    return compact(QJsonObject{{QStringLiteral("cmd"), QStringLiteral("STOP_SERVICE")}});
}

int answerRet(const QByteArray &answer)
{
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    if (!document.isObject())
        return -1;
    return readInt32(document.object(), QStringLiteral("ret"), -1);
}

StatusDecode decodeStatus(const QByteArray &answer, PipeClient::Status &out)
{
    StatusDecode result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &parseError);
    if (!document.isObject()) {
        result.outcome = StatusDecode::Outcome::InvalidJson;
        result.parseError = parseError.errorString();
        out.connected = false;
        return result;
    }
    const QJsonObject object = document.object();
    result.ret = readInt32(object, QStringLiteral("ret"), -1);
    if (result.ret != 0) {
        result.outcome = StatusDecode::Outcome::Rejected;
        out.connected = false;
        return result;
    }

    result.outcome = StatusDecode::Outcome::Connected;
    out.connected = true;
    out.uptime = readUptime(object);
    out.httpPort = readInt32(object, QStringLiteral("httpPort"), 0);
    out.autoStart = readBool(object, QStringLiteral("autoStart"));

    bool mainRunning = true;
    bool mainSeen = false;
    bool anyListed = false;
    bool allListedRunning = true;
    const QJsonValue processes = object.value(QStringLiteral("processes"));
    const QJsonArray elements = processes.isArray() ? processes.toArray() : QJsonArray();
    for (const QJsonValue element : elements) {
        const QJsonObject process = element.isObject() ? element.toObject() : QJsonObject();
        const QString name = readString(process, QStringLiteral("name"));
        const ProcessKind kind = classify(readString(process, QStringLiteral("type")), name);
        if (!kind.listed)
            continue;
        const bool running = readBool(process, QStringLiteral("running"));
        if (!name.isEmpty()) {
            out.processes.append({name, readInt32(process, QStringLiteral("port"), 0), running});
            anyListed = true;
            allListedRunning = allListedRunning && running;
        }
        // An unnamed main-server entry is not shown but still tells whether the server runs.
        if (kind.mainServer) {
            mainRunning = running;
            mainSeen = true;
        }
    }
    out.mainServerRunning = mainRunning;
    out.restarting = (mainSeen && !mainRunning) || (anyListed && !allListedRunning);
    return result;
}
