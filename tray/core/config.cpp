#include "config.h"

#include <installation/names.h>

#include <QDebug>

#include <atomic>

namespace {

std::atomic<bool> missingHomeReported{false};

installation::ProductHome productHome()
{
    installation::ProductHome home = installation::productHome();
    if (!home.notFound.isEmpty() && !missingHomeReported.exchange(true))
        qWarning() << "DizovuvOdiv product home not found, its language and recording plan are ignored:"
                   << "orlunehome=" << home.notFound;
    return home;
}

} // namespace

QString currentLanCode()
{
    return installation::currentLanCode(productHome());
}

int productHomePlanValue()
{
    return installation::productHomePlanValue(productHome());
}

QString clientProcessName()
{
    return installation::clientProcessName(appName());
}

QString pipePath()
{
    return installation::servicePipePath(instanceId());
}

QString mutexName()
{
    return installation::trayMutexName(instanceId());
}

QString exitRequestEventName()
{
    return installation::exitRequestEventName(instanceId());
}

QString languageEventName()
{
    return installation::languageEventName(instanceId());
}

QString autostartEntryName()
{
    return installation::autostartEntryName(appName());
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
