#pragma once

#include <QString>

// What the installation's files beside the executable say: the product parameter file
// "params.ini", the product home's "params.ini" and the skin configuration
// "Skin/Client/config.ini". Every reader opens its file anew on each call, so an edit takes
// effect at the next call; all of them may be called from any thread. A file that is missing,
// unreadable or not a regular file reads as empty: every key takes its default. Text values are
// trimmed; a default applies only when the key is absent.

namespace installation {

// The directory the files are read from: the executable's directory, or the one given to
// overrideApplicationDir() (an empty string restores the executable's). Tests use the
// override because their binaries share one directory.
QString applicationDir();
void overrideApplicationDir(const QString &dir);

// Whether process `pid` runs a program of this installation: its executable lies in
// applicationDir(), the folders compared as the system compares them. Another installation
// beside this one runs programs of the same names, so a name alone never tells. A process whose
// executable path cannot be read is not this installation's.
bool isInstallationProcess(unsigned long pid);

// A key ("section/name") of the product parameter file.
QString paramValue(const QString &key, const QString &defaultValue);
// "product/appName", "Orlune" when absent.
QString appName();
// "product/instanceId", appName() when absent: the prefix of every shared object's name.
QString instanceId();
// "product/serviceName", appName() + "_Server" when absent.
QString serviceName();

// The product home, the folder "paths/orlunehome" names. Its value is taken as the INI format
// reads it; when that names no existing folder but the text as written in the file does, the
// text as written: the INI format takes the backslashes of a Windows path written as Windows
// writes it ("C:\ProgramData\...") for escapes.
struct ProductHome {
    // The existing folder to read; empty when none is configured or none was found.
    QString dir;
    // A configured value that names no existing folder either way, as written; else empty.
    QString notFound;
};
ProductHome productHome();
// The product home's language wins over the application directory's (default "en_US").
QString currentLanCode(const ProductHome &home = productHome());
// Value of "recordPlan/hasLocalPlan" in the product home's params.ini; 0 without a home.
int productHomePlanValue(const ProductHome &home = productHome());

// A key of the skin configuration.
QString skinValue(const QString &key, const QString &defaultValue);
// "normal/skin", "default" when absent.
QString skinName();
// application directory + "/Skin/Client/" + skinName() + "/" + relative, cleaned.
QString skinFilePath(const QString &relative);
// application directory + "/Skin/Client/" + relative: assets outside the selectable skin.
QString clientAssetPath(const QString &relative);
QString translationFilePath(const QString &languageCode);
// application directory + "/log", where both programs keep their logs.
QString logDirectory();

} // namespace installation
