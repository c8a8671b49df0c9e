#include "zozapplication.h"

#include "localserverfile.h"
#include "paramsmgr.h"
#include "tqmainframeui.h"
#include "tqmessagebox.h"

#include <QDebug>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

constexpr int kTrayExitPollMs = 300;
constexpr int kConnectWaitMs = 500;

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
        // Only a dead server's socket is cleared; a file of that name in the working directory
        // is somebody's data, and a live socket belongs to a client that started just now.
        if (removeStaleServerFile(serverName))
            m_localServer->listen(serverName);
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
