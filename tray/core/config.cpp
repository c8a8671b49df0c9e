#include "config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>

namespace {

QMutex overrideMutex;
QString overriddenDir;

// Only a regular file is read: a FIFO or a device named like the file would block the caller
// or never end. Anything else counts as a missing file.
bool isRegularFile(const QString &file)
{
    return QFileInfo(file).isFile();
}

// The text after "=" of `key`'s last line in its section, up to a comment, as written.
QString rawIniValue(const QString &file, const QString &key)
{
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    const QString section = slash < 0 ? QStringLiteral("General") : key.left(slash);
    const QString name = key.mid(slash + 1);
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return QString();
    QString current = QStringLiteral("General");
    QString value;
    for (const QByteArray &rawLine : in.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0 || current != section || line.left(equals).trimmed() != name)
            continue;
        value = line.mid(equals + 1);
        bool quoted = false;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value.at(i) == QLatin1Char('"'))
                quoted = !quoted;
            else if (value.at(i) == QLatin1Char(';') && !quoted)
                value.truncate(i);
        }
    }
    return value.trimmed();
}

QString iniValue(const QString &file, const QString &key, const QString &defaultValue)
{
    if (!isRegularFile(file))
        return defaultValue.trimmed();
    const QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(key, defaultValue);
    // An unquoted comma makes QSettings split the text into a list; every other reader of the
    // file takes the text as written, so names derived from it must too.
    if (value.metaType().id() == QMetaType::QStringList)
        return rawIniValue(file, key);
    return value.toString().trimmed();
}

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

#ifdef Q_OS_WIN
const QString kExecutableSuffix = QStringLiteral(".exe");
#else
const QString kExecutableSuffix;
#endif

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

QString clientProcessName()
{
    QString name = appName();
    name.remove(QLatin1Char(' '));
    return name.toLower() + kExecutableSuffix;
}

QString pipePath()
{
    return QStringLiteral("\\\\.\\pipe\\") + instanceId() + QStringLiteral("_Service");
}

QString mutexName()
{
    return QStringLiteral("Local\\") + instanceId() + QStringLiteral("_DizovuvOdiv");
}

QString exitRequestEventName()
{
    return QStringLiteral("Local\\") + instanceId() + QStringLiteral("_TrayExitRequest");
}

QString languageEventName()
{
    return QStringLiteral("Local\\") + instanceId() + QStringLiteral("_LanguageChanged");
}

QString autostartEntryName()
{
    return appName() + QStringLiteral("_DizovuvOdiv");
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

ThemeColors readThemeColors()
{
    const auto color = [](const char *key, const char *defaultValue) {
        return QColor(skinValue(QLatin1String(key), QLatin1String(defaultValue)));
    };
    ThemeColors c;
    c.themeColor = color("color/themeColor", "#2B2B2B");
    c.trayCardColor = color("color/trayCardColor", "#27292D");
    c.dlgBorderColor = color("color/dlgBorderColor", "#3A3D40");
    c.oneLevelTextColor = color("color/oneLevelTextColor", "#E6E6E6");
    c.thirdLevelTextColor = color("color/thirdLevelTextColor", "#555555");
    c.customGreen = color("color/customGreen", "#00FF00");
    c.defaultRedColor = color("color/defaultRedColor", "#E82202");
    c.restartingColor = QColor(QStringLiteral("#F1C40F"));
    c.stoppedIconColor = color("color/thirdLevelTextColor", "#787878");
    return c;
}

const ThemeColors &themeColors()
{
    static const ThemeColors colors = readThemeColors();
    return colors;
}
