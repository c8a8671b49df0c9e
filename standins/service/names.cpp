#include "names.h"

#include "platform/pipe.h"

namespace {

QString serverNameForPipe(const QString &pipePath)
{
    return QString::fromStdString(platform::localServerNameForPipe(pipePath.toStdString()));
}

} // namespace

QString pipePathFor(const QString &instanceId)
{
    return QStringLiteral("\\\\.\\pipe\\") + instanceId + QStringLiteral("_Service");
}

QString pipeServerName(const QString &instanceId)
{
    return serverNameForPipe(pipePathFor(instanceId));
}

QString controlServerName(const QString &instanceId)
{
    return serverNameForPipe(pipePathFor(instanceId) + QStringLiteral(".control"));
}
