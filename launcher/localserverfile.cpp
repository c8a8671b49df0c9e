#include "localserverfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

namespace {

constexpr int kProbeWaitMs = 500;

} // namespace

QString localServerFile(const QString &serverName)
{
#ifdef Q_OS_WIN
    Q_UNUSED(serverName)
    return QString();
#else
    // Where Qt binds a server of that name.
    return QDir::isAbsolutePath(serverName)
               ? serverName
               : QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/') + serverName;
#endif
}

bool removeStaleServerFile(const QString &serverName)
{
    const QString file = localServerFile(serverName);
    const QFileInfo info(file);
    if (file.isEmpty() || !info.exists() || info.isFile() || info.isDir())
        return false;
    QLocalSocket probe;
    probe.connectToServer(serverName, QIODevice::ReadWrite);
    if (probe.waitForConnected(kProbeWaitMs))
        return false;
    return QFile::remove(file);
}
