#include "installation/files.h"

#include "inifile.h"

#include <platform/paths.h>
#include <platform/processes.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace installation {

namespace {

QMutex overrideMutex;
QString overriddenDir;
QString executableDir;

QString paramsFile()
{
    return applicationDir() + QStringLiteral("/params.ini");
}

QString skinConfigFile()
{
    return applicationDir() + QStringLiteral("/Skin/Client/config.ini");
}

bool isFolder(const QString &path)
{
    return QFileInfo(QDir::cleanPath(path)).isDir();
}

// A path copied with its enclosing quotes, as the file browser of Windows copies it.
QString withoutQuotes(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text.mid(1, text.size() - 2).trimmed();
    return text;
}

QString productHomeParamsFile(const QString &home)
{
    return QDir::cleanPath(home + QStringLiteral("/params.ini"));
}

} // namespace

QString applicationDir()
{
    const QMutexLocker locker(&overrideMutex);
    if (!overriddenDir.isEmpty())
        return overriddenDir;
    // Worked out once: the running executable keeps its place (Qt keeps its path as well), and
    // the folder is asked for on every pipe request.
    if (executableDir.isEmpty())
        executableDir = QCoreApplication::applicationDirPath();
    return executableDir;
}

void overrideApplicationDir(const QString &dir)
{
    const QMutexLocker locker(&overrideMutex);
    overriddenDir = dir;
}

bool isInstallationProcess(unsigned long pid)
{
    std::string path;
    platform::ErrorCode error = 0;
    return platform::processExecutablePath(pid, path, error) &&
           platform::liesInFolder(path, QDir::toNativeSeparators(applicationDir()).toStdString());
}

QString paramValue(const QString &key, const QString &defaultValue)
{
    return iniValue(paramsFile(), key, defaultValue);
}

QString appName()
{
    return paramValue(QStringLiteral("product/appName"), QStringLiteral("Orlune"));
}

// The fallbacks are read only when needed: the instance identifier is asked for on every pipe
// request.
QString instanceId()
{
    if (std::optional<QString> id = iniEntry(paramsFile(), QStringLiteral("product/instanceId")))
        return *id;
    return appName();
}

QString serviceName()
{
    if (std::optional<QString> name = iniEntry(paramsFile(), QStringLiteral("product/serviceName")))
        return *name;
    return appName() + QStringLiteral("_Server");
}

ProductHome productHome()
{
    const QString key = QStringLiteral("paths/orlunehome");
    const QString value = paramValue(key, QString());
    if (value.isEmpty() || isFolder(value))
        return {value, QString()};
    const QString written = iniTextAsWritten(paramsFile(), key);
    const QString path = withoutQuotes(written);
    if (!path.isEmpty() && isFolder(path))
        return {path, QString()};
    return {QString(), written.isEmpty() ? value : written};
}

QString currentLanCode(const ProductHome &home)
{
    if (!home.dir.isEmpty()) {
        QString code =
            iniValue(productHomeParamsFile(home.dir), QStringLiteral("language/currentLanCode"), QString());
        if (!code.isEmpty())
            return code;
    }
    return paramValue(QStringLiteral("language/currentLanCode"), QStringLiteral("en_US"));
}

int productHomePlanValue(const ProductHome &home)
{
    if (home.dir.isEmpty())
        return 0;
    return iniValue(productHomeParamsFile(home.dir), QStringLiteral("recordPlan/hasLocalPlan"),
                    QStringLiteral("0"))
        .toInt();
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
