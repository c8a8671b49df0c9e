#include "appdir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::remove(target);
        QFile::copy(source, target);
    }
}

} // namespace

AppDir::AppDir() = default;

QString AppDir::buildAppDir()
{
    return QStringLiteral(ORLUNE_APPDIR);
}

QString AppDir::programFileName(const QString &name)
{
#ifdef Q_OS_WIN
    return name + QStringLiteral(".exe");
#else
    return name;
#endif
}

QString AppDir::filePath(const QString &relative) const
{
    return dir.filePath(relative);
}

QString AppDir::addProgram(const QString &name)
{
    const QString source = buildAppDir() + QLatin1Char('/') + programFileName(name);
    const QString target = filePath(programFileName(name));
    QFile::remove(target);
    if (!QFile::copy(source, target))
        return QString();
    QFile::setPermissions(target, QFile::permissions(source));
    return target;
}

void AppDir::addAssets()
{
    for (const char *sub : {"Skin", "translation"})
        copyTree(buildAppDir() + QLatin1Char('/') + QLatin1String(sub), filePath(QLatin1String(sub)));
}

void AppDir::writeParams(const QMap<QString, QString> &values)
{
    QSettings settings(filePath(QStringLiteral("params.ini")), QSettings::IniFormat);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

void AppDir::writeFile(const QString &relative, const QByteArray &content)
{
    const QString target = filePath(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}
