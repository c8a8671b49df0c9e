#include "names.h"

#include "platform/pipe.h"

#include <installation/names.h>

namespace {

QString serverNameForPipe(const QString &pipePath)
{
    return QString::fromStdString(platform::localServerNameForPipe(pipePath.toStdString()));
}

} // namespace

QString pipeServerName(const QString &instanceId)
{
    return serverNameForPipe(installation::servicePipePath(instanceId));
}

QString controlServerName(const QString &instanceId)
{
    return serverNameForPipe(installation::serviceControlPipePath(instanceId));
}
