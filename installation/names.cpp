#include "installation/names.h"

namespace installation {

namespace {

const QString kLocalPrefix = QStringLiteral("Local\\");

#ifdef Q_OS_WIN
const QString kExecutableSuffix = QStringLiteral(".exe");
#else
const QString kExecutableSuffix;
#endif

} // namespace

QString servicePipePath(const QString &id)
{
    return QStringLiteral("\\\\.\\pipe\\") + id + QStringLiteral("_Service");
}

QString serviceControlPipePath(const QString &id)
{
    return servicePipePath(id) + QStringLiteral(".control");
}

QString trayMutexName(const QString &id)
{
    return kLocalPrefix + id + QStringLiteral("_DizovuvOdiv");
}

QString exitRequestEventName(const QString &id)
{
    return kLocalPrefix + id + QStringLiteral("_TrayExitRequest");
}

QString languageEventName(const QString &id)
{
    return kLocalPrefix + id + QStringLiteral("_LanguageChanged");
}

QString clientInstanceClaimName(const QString &id)
{
    return kLocalPrefix + id + QStringLiteral("_ClientInstance");
}

QString clientLocalServerName(const QString &id)
{
    return kLocalPrefix + id;
}

QString autostartEntryName(const QString &appName)
{
    return appName + QStringLiteral("_DizovuvOdiv");
}

QString clientProcessName(const QString &appName)
{
    QString name = appName;
    name.remove(QLatin1Char(' '));
    return name.toLower() + kExecutableSuffix;
}

QString trayLogFileName()
{
    return QStringLiteral("DizovuvOdiv.log");
}

QString clientLogFileName()
{
    return QStringLiteral("VadorivOruziz.log");
}

} // namespace installation
