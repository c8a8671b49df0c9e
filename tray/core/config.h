#pragma once

#include <QColor>
#include <QString>

#include <installation/files.h>

// Installation settings of the tray. What the installation's files say is read by the
// installation contract (installation/files.h), anew on each call; the names below apply its
// rules (installation/names.h) to what the files say. All of them may be called from any thread.

using installation::applicationDir;
using installation::appName;
using installation::clientAssetPath;
using installation::instanceId;
using installation::isInstallationProcess;
using installation::paramValue;
using installation::serviceName;
using installation::skinFilePath;
using installation::skinName;
using installation::skinValue;
using installation::translationFilePath;

// The installation's readers of the product home. A product home that is configured but names
// no existing folder is reported in the log, once per process: they are read again and again.
QString currentLanCode();
int productHomePlanValue();

// appName() without blanks, lower case, plus the platform's executable suffix.
QString clientProcessName();
QString pipePath();
QString mutexName();
QString exitRequestEventName();
QString languageEventName();
// Name of the tray's per-user autostart entry; built from appName(), not instanceId().
QString autostartEntryName();

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
