#pragma once

#include <QColor>
#include <QString>

// Installation settings of the tray, read from the product's INI files beside the executable.
// Every accessor opens its file anew on each call, so an edit takes effect at the next call;
// all of them may be called from any thread.

// The directory the files are read from: the executable's directory, or the one given to
// overrideApplicationDir() (an empty string restores the executable's). Tests use the
// override because their binaries share one directory.
QString applicationDir();
void overrideApplicationDir(const QString &dir);

QString paramValue(const QString &key, const QString &defaultValue);
QString appName();
QString instanceId();
QString serviceName();
// The product home's language wins over the application directory's.
QString currentLanCode();
// Value of "recordPlan/hasLocalPlan" in the product home's params.ini; 0 without a home.
int productHomePlanValue();
// appName() without blanks, lower case, plus the platform's executable suffix.
QString clientProcessName();
QString pipePath();
QString mutexName();
QString exitRequestEventName();
QString languageEventName();
// Name of the tray's per-user autostart entry; built from appName(), not instanceId().
QString autostartEntryName();

QString skinValue(const QString &key, const QString &defaultValue);
QString skinName();
QString skinFilePath(const QString &relative);
// application directory + "/Skin/Client/" + relative: assets outside the selectable skin.
QString clientAssetPath(const QString &relative);
QString translationFilePath(const QString &languageCode);

struct ThemeColors {
    QColor themeColor;
    QColor trayCardColor;
    QColor dlgBorderColor;
    QColor oneLevelTextColor;
    QColor thirdLevelTextColor;
    QColor customGreen;
    QColor defaultRedColor;
    QColor restartingColor;
    QColor stoppedIconColor;
};

// Reads the skin configuration's colours anew.
ThemeColors readThemeColors();
// Read once per process, on first use.
const ThemeColors &themeColors();
