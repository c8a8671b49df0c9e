#include "paramsmgr.h"

#include "appdirhook.h"

#include <installation/files.h>

// Read from params.ini beside the executable through the installation contract, as the real
// library reads it itself.

namespace {

int intParam(const QString &key, int defaultValue, int minimum, int maximum)
{
    bool ok = false;
    const int value = installation::paramValue(key, QString::number(defaultValue)).toInt(&ok);
    return ok && value >= minimum && value <= maximum ? value : defaultValue;
}

int portParam(const QString &key, int defaultValue)
{
    return intParam(key, defaultValue, 1, 65535);
}

} // namespace

QString ParamsMgr::instanceId() const
{
    return installation::instanceId();
}

QString ParamsMgr::serviceName() const
{
    return installation::serviceName();
}

QString ParamsMgr::manufacturers() const
{
    return installation::paramValue(QStringLiteral("client/manufacturers"), installation::appName());
}

QString ParamsMgr::torvikServerIp() const
{
    return installation::paramValue(QStringLiteral("client/torvikServerIp"), QStringLiteral("127.0.0.1"));
}

int ParamsMgr::webDebugPort() const
{
    return portParam(QStringLiteral("client/webDebugPort"), 18091);
}

int ParamsMgr::torvikServerPort() const
{
    return portParam(QStringLiteral("client/torvikServerPort"), 18080);
}

int ParamsMgr::getProcessNum() const
{
    return intParam(QStringLiteral("client/processNum"), 4, 1, 64);
}

int ParamsMgr::DecodeProcessPort() const
{
    return portParam(QStringLiteral("client/decodeProcessPort"), 18090);
}

int ParamsMgr::getQ_OS_WINType() const
{
#ifdef Q_OS_WIN
    return 1;
#else
    return 0;
#endif
}

bool ParamsMgr::isOpenConsoleLog() const
{
    const QString value =
        installation::paramValue(QStringLiteral("client/openConsoleLog"), QStringLiteral("0"));
    return value == QLatin1String("1") || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

ParamsMgr *tqParamsMgr()
{
    standin::followAppDirHook();
    static ParamsMgr params;
    return &params;
}
