#include "localserverfile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

namespace {

constexpr int kProbeWaitMs = 500;

} // namespace

bool removeStaleServerFile(const QString &serverName)
{
#ifdef Q_OS_WIN
    Q_UNUSED(serverName)
    return false;
#else
    const QFileInfo info(serverName);
    if (!info.isAbsolute() || info.isSymLink() || !info.exists() || info.isFile() || info.isDir())
        return false;
    QLocalSocket probe;
    probe.connectToServer(serverName, QIODevice::ReadWrite);
    if (probe.waitForConnected(kProbeWaitMs))
        return false;
    return QFile::remove(serverName);
#endif
}
