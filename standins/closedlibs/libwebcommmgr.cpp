#include "libwebcommmgr.h"

#include "paramsmgr.h"
#include "standinhooks.h"
#include "statusquery.h"

#include <QJsonArray>
#include <QTcpSocket>

namespace {

constexpr int kStatusTimeoutMs = 3000;

std::optional<QJsonObject> serverStatus()
{
    const ParamsMgr *params = tqParamsMgr();
    return queryServerStatus(params->torvikServerIp(), params->torvikServerPort(), kStatusTimeoutMs);
}

} // namespace

bool LibWebCommMgr::isServerReachable(int timeoutMs) const
{
    const ParamsMgr *params = tqParamsMgr();
    QTcpSocket socket;
    socket.connectToHost(params->torvikServerIp(), static_cast<quint16>(params->torvikServerPort()));
    const bool reachable = socket.waitForConnected(timeoutMs);
    socket.abort();
    standin::trace(QStringLiteral("probe reachable=%1").arg(reachable ? "true" : "false"));
    return reachable;
}

int LibWebCommMgr::getServerStatus() const
{
    const std::optional<QJsonObject> status = serverStatus();
    const int value = status ? status->value(QLatin1String("status")).toInt(-1) : -1;
    standin::trace(QStringLiteral("server status=%1").arg(value));
    return value;
}

void LibWebCommMgr::initUserParam()
{
    standin::trace(QStringLiteral("initUserParam"));
}

int LibWebCommMgr::isHaveSuperUser() const
{
    const std::optional<QJsonObject> status = serverStatus();
    if (!status || !status->value(QLatin1String("superUser")).isDouble())
        return -1;
    return status->value(QLatin1String("superUser")).toInt();
}

bool LibWebCommMgr::getUserFunctionRights(TQ::RightOperation right) const
{
    const std::optional<QJsonObject> status = serverStatus();
    const bool granted =
        status && status->value(QLatin1String("rights")).toArray().contains(static_cast<int>(right));
    standin::trace(
        QStringLiteral("right %1 granted=%2").arg(static_cast<int>(right)).arg(granted ? "true" : "false"));
    return granted;
}

LibWebCommMgr *tqLibWebCommMgr()
{
    static LibWebCommMgr web;
    return &web;
}
