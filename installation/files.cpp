#include "installation/files.h"

#include "inifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QSettings>

namespace installation {

namespace {

QMutex overrideMutex;
QString overriddenDir;

QString paramsFile()
{
    return applicationDir() + QStringLiteral("/params.ini");
}

QString skinConfigFile()
{
    return applicationDir() + QStringLiteral("/Skin/Client/config.ini");
}

QString productHome()
{
    return paramValue(QStringLiteral("paths/orlunehome"), QString());
}

QString productHomeParamsFile(const QString &home)
{
    return QDir::cleanPath(home + QStringLiteral("/params.ini"));
}

} // namespace

QString applicationDir()
{
    {
        const QMutexLocker locker(&overrideMutex);
        if (!overriddenDir.isEmpty())
            return overriddenDir;
    }
    return QCoreApplication::applicationDirPath();
}

void overrideApplicationDir(const QString &dir)
{
    const QMutexLocker locker(&overrideMutex);
    overriddenDir = dir;
}

QString paramValue(const QString &key, const QString &defaultValue)
{
    return iniValue(paramsFile(), key, defaultValue);
}

QString appName()
{
    return paramValue(QStringLiteral("product/appName"), QStringLiteral("Orlune"));
}

QString instanceId()
{
    return paramValue(QStringLiteral("product/instanceId"), appName());
}

QString serviceName()
{
    return paramValue(QStringLiteral("product/serviceName"), appName() + QStringLiteral("_Server"));
}

QString currentLanCode()
{
    const QString home = productHome();
    if (!home.isEmpty()) {
        QString code =
            iniValue(productHomeParamsFile(home), QStringLiteral("language/currentLanCode"), QString());
        if (!code.isEmpty())
            return code;
    }
    return paramValue(QStringLiteral("language/currentLanCode"), QStringLiteral("en_US"));
}

int productHomePlanValue()
{
    const QString home = productHome();
    if (home.isEmpty())
        return 0;
    const QString file = productHomeParamsFile(home);
    if (!isRegularFile(file))
        return 0;
    const QSettings settings(file, QSettings::IniFormat);
    return settings.value(QStringLiteral("recordPlan/hasLocalPlan"), 0).toInt();
}

QString skinValue(const QString &key, const QString &defaultValue)
{
    return iniValue(skinConfigFile(), key, defaultValue);
}

QString skinName()
{
    return skinValue(QStringLiteral("normal/skin"), QStringLiteral("default"));
}

QString skinFilePath(const QString &relative)
{
    return QDir::fromNativeSeparators(QDir::cleanPath(applicationDir() + QStringLiteral("/Skin/Client/") +
                                                      skinName() + QLatin1Char('/') + relative));
}

QString clientAssetPath(const QString &relative)
{
    return applicationDir() + QStringLiteral("/Skin/Client/") + relative;
}

QString translationFilePath(const QString &languageCode)
{
    return applicationDir() + QStringLiteral("/translation/Client/") + languageCode + QStringLiteral(".qm");
}

QString logDirectory()
{
    return QDir(applicationDir()).filePath(QStringLiteral("log"));
}

} // namespace installation
