#include "zozapplication.h"

#include "localserverfile.h"
#include "paramsmgr.h"
#include "tqmainframeui.h"
#include "tqmessagebox.h"

#include "platform/localserver.h"

#include <installation/names.h>

#include <QDebug>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

constexpr int kTrayExitPollMs = 300;
constexpr int kConnectWaitMs = 500;

// Where the installation's client serves its name: a per-user place, never one other users
// share. Empty when there is none.
QString instanceServerName(const QString &instanceId)
{
    platform::ErrorCode error = 0;
    const std::string name =
        platform::localServerName(installation::clientLocalServerName(instanceId).toStdString(), error);
    return error == 0 ? QString::fromStdString(name) : QString();
}

bool knock(const QString &serverName)
{
    QLocalSocket socket;
    socket.connectToServer(serverName, QIODevice::ReadWrite);
    return socket.waitForConnected(kConnectWaitMs);
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

bool ZozApplication::isAnotherInstanceRunning(const QString &instanceId)
{
    // Claiming first makes the start atomic: of several clients started at the same moment
    // exactly one owns the claim, and keeps it for as long as it serves the name.
    m_instanceClaim = platform::SingleInstanceMutex::create(
        installation::clientInstanceClaimName(instanceId).toStdString());
    const platform::SingleInstanceMutex::State claim = m_instanceClaim->state();
    const QString serverName = instanceServerName(instanceId);
    if (claim != platform::SingleInstanceMutex::State::Owned) {
        // Knocking lets the running client see the refused start; where no claim can be made
        // at all, an answer is the only sign of another client.
        const bool answered = !serverName.isEmpty() && knock(serverName);
        if (claim == platform::SingleInstanceMutex::State::AlreadyExists || answered) {
            m_instanceClaim.reset();
            TqMessageBox::warning(nullptr, tr("The program is already running"), tr("Note"), QMessageBox::Yes,
                                  QMessageBox::NoButton);
            return true;
        }
        qDebug("single-instance claim unavailable, error=%lu", m_instanceClaim->error());
    }
    if (serverName.isEmpty())
        return false;

    m_localServer = new QLocalServer(this);
    connect(m_localServer, SIGNAL(newConnection()), this, SLOT(newLocalSocketConnection()));
    if (!m_localServer->listen(serverName) &&
        m_localServer->serverError() == QAbstractSocket::AddressInUseError) {
        // Only a dead client's socket is cleared; anything else of that name is left alone.
        if (removeStaleServerFile(serverName))
            m_localServer->listen(serverName);
    }
    return false;
}

void ZozApplication::releaseLocalServer()
{
    if (m_localServer) {
        m_localServer->close();
        delete m_localServer;
        m_localServer = nullptr;
    }
    m_instanceClaim.reset();
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

bool ZozApplication::checkTrayExitRequestNow()
{
    if (!m_trayExitRequested)
        checkTrayExitRequest();
    return m_trayExitRequested;
}

void ZozApplication::checkTrayExitRequest()
{
    if (!m_trayExitEvent.valid()) {
        m_trayExitEvent = platform::NamedEvent::open(
            installation::exitRequestEventName(tqParamsMgr()->instanceId()).toStdString(),
            platform::NamedEvent::Access::Synchronize);
        if (!m_trayExitEvent.valid())
            return;
    }
    if (m_trayExitEvent.poll() != platform::NamedEvent::WaitResult::Signalled)
        return;

    m_trayExitTimer->stop();
    m_trayExitEvent.close();
    m_trayExitRequested = true;
    TqMainFrameUI::s_trayExitRequested = true;
    qDebug("tray exit request received, closing all windows");
    QApplication::closeAllWindows();
    // A window may refuse to close, or a question of its own may have been open and closed
    // as a "no": the client ends all the same, leaving every running event loop.
    QCoreApplication::exit(0);
}
