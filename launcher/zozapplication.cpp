#include "zozapplication.h"

#include "paramsmgr.h"
#include "tqmainframeui.h"
#include "tqmessagebox.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

constexpr int kTrayExitPollMs = 300;
constexpr int kConnectWaitMs = 500;

// The file a local server leaves behind when its process dies: the socket Qt binds for the
// name. Named pipes leave none.
QString staleServerFile(const QString &serverName)
{
#ifdef Q_OS_WIN
    Q_UNUSED(serverName)
    return QString();
#else
    return QDir::isAbsolutePath(serverName)
               ? serverName
               : QDir::cleanPath(QDir::tempPath()) + QLatin1Char('/') + serverName;
#endif
}

// Only a socket may be removed: a regular file or directory of that name is somebody's data.
bool isStaleSocket(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.exists() && !info.isFile() && !info.isDir();
}

std::string trayExitEventName()
{
    return (QStringLiteral("Local\\") + tqParamsMgr()->instanceId() + QStringLiteral("_TrayExitRequest"))
        .toStdString();
}

} // namespace

ZozApplication::ZozApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    m_trayExitTimer = new QTimer(this);
    connect(m_trayExitTimer, &QTimer::timeout, this, &ZozApplication::checkTrayExitRequest);
    m_trayExitTimer->start(kTrayExitPollMs);
}

ZozApplication::~ZozApplication()
{
    releaseLocalServer();
}

bool ZozApplication::isAnotherInstanceRunning(const QString &serverName)
{
    {
        QLocalSocket socket;
        socket.connectToServer(serverName, QIODevice::ReadWrite);
        if (socket.waitForConnected(kConnectWaitMs)) {
            TqMessageBox::warning(nullptr, tr("The program is already running"), tr("Note"), QMessageBox::Yes,
                                  QMessageBox::NoButton);
            return true;
        }
    }

    QLocalServer::removeServer(serverName);
    m_localServer = new QLocalServer(this);
    connect(m_localServer, SIGNAL(newConnection()), this, SLOT(newLocalSocketConnection()));
    if (!m_localServer->listen(serverName) &&
        m_localServer->serverError() == QAbstractSocket::AddressInUseError) {
        const QString file = staleServerFile(serverName);
        if (isStaleSocket(file)) {
            QFile::remove(file);
            m_localServer->listen(serverName);
        }
    }
    return false;
}

void ZozApplication::releaseLocalServer()
{
    if (!m_localServer)
        return;
    m_localServer->close();
    delete m_localServer;
    m_localServer = nullptr;
}

void ZozApplication::newLocalSocketConnection()
{
    // Every pending connection is taken and closed: left in the queue they would fill it, and
    // a later client could no longer reach this one and would start a second copy.
    while (QLocalSocket *socket = m_localServer->nextPendingConnection()) {
        qDebug("new process startup");
        socket->close();
        delete socket;
    }
}

void ZozApplication::checkTrayExitRequest()
{
    if (!m_trayExitEvent.valid()) {
        m_trayExitEvent =
            platform::NamedEvent::open(trayExitEventName(), platform::NamedEvent::Access::Synchronize);
        if (!m_trayExitEvent.valid())
            return;
    }
    if (m_trayExitEvent.poll() != platform::NamedEvent::WaitResult::Signalled)
        return;

    m_trayExitTimer->stop();
    m_trayExitEvent.close();
    TqMainFrameUI::s_trayExitRequested = true;
    qDebug("tray exit request received, closing all windows");
    QApplication::closeAllWindows();
}
