#include "localname.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr int kProbeTimeoutMs = 300;

} // namespace

bool claimServerName(const QString &name, QString *error)
{
    if (name.isEmpty()) {
        *error = QStringLiteral("no local server name for this pipe (runtime directory unusable?)");
        return false;
    }
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(kProbeTimeoutMs)) {
        probe.abort();
        *error = QStringLiteral("%1 is served by another process").arg(name);
        return false;
    }
    const QLocalSocket::LocalSocketError failure = probe.error();
    const QString reason = probe.errorString();
    probe.abort();
    if (failure == QLocalSocket::ServerNotFoundError || failure == QLocalSocket::ConnectionRefusedError) {
        QLocalServer::removeServer(name);
        return true;
    }
    // A timeout or any other failure may be a live but busy server: leave it alone.
    *error = QStringLiteral("%1 may be in use: %2").arg(name, reason);
    return false;
}
