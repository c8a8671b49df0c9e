#include "protocol.h"

#include "statusmodel.h"

#include <QJsonDocument>

namespace {

QJsonObject retOnly(int ret)
{
    return QJsonObject{{QStringLiteral("ret"), ret}};
}

} // namespace

PipeRequest parseRequestLine(const QByteArray &line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.trimmed());
    const QJsonObject object = document.object();
    const QJsonValue command = object.value(QStringLiteral("cmd"));
    if (!document.isObject() || !command.isString())
        return {};
    return {command.toString(), object};
}

PipeOutcome carryOut(const PipeRequest &request, StatusModel &model)
{
    if (request.command == QLatin1String("GET_STATUS"))
        return {model.statusAnswer(), false};
    if (request.command == QLatin1String("SET_AUTOSTART")) {
        const QJsonValue enable = request.object.value(QStringLiteral("enable"));
        if (!enable.isBool())
            return {retOnly(kBadRequestRet), false};
        model.setAutoStart(enable.toBool());
        return {retOnly(0), false};
    }
    if (request.command == QLatin1String("STOP_SERVICE"))
        return {retOnly(0), true};
    return {retOnly(kBadRequestRet), false};
}

QByteArray compactJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
