#include "pipeserver.h"

#include "eventlog.h"
#include "localname.h"
#include "pipesession.h"

#include <QLocalServer>
#include <QLocalSocket>
#ifdef _WIN32
#include <QWinEventNotifier>
#endif

namespace {

#ifndef _WIN32
// How long a filler connection may take. A connect to a unix socket with room in its backlog
// completes at once; one that waits has found the backlog full.
constexpr int kFillerConnectMs = 100;
#endif
#ifdef _WIN32
// A pipe has at most 255 instances.
constexpr int kMaxFillers = 255;
#else
// Bound on the fillers, whatever the system's backlog accounting is.
constexpr int kMaxFillers = 32;
#endif

} // namespace

PipeServer::PipeServer(const QString &serverName, StatusModel &model, int readTimeoutMs, QObject *parent)
    : QObject(parent), m_name(serverName), m_model(model), m_readTimeoutMs(readTimeoutMs)
{
}

bool PipeServer::setServing(bool serving, QString *error)
{
    if (!serving) {
        closeServer();
        return true;
    }
    return serving == this->serving() || listen(error);
}

bool PipeServer::setFault(const QString &target, const Fault &fault, QString *error)
{
    const bool wasBusy = m_faults.busy();
    if (!m_faults.set(target, fault, error))
        return false;
    if (m_faults.busy() == wasBusy || !serving())
        return true;
    closeServer();
    return listen(error);
}

bool PipeServer::listen(QString *error)
{
    if (!claimServerName(m_name, error))
        return false;
    auto *server = new QLocalServer(this);
    if (m_faults.busy()) {
        // No pending connection is allowed, so the server never accepts; the kernel queue is
        // as short as it can be, so a few connections of our own fill it.
        server->setMaxPendingConnections(0);
        server->setListenBacklogSize(1);
    }
    if (!server->listen(m_name)) {
        *error = QStringLiteral("cannot serve %1: %2").arg(m_name, server->errorString());
        delete server;
        return false;
    }
    m_server = server;
    printEvent(QStringLiteral("pipe up"));
    if (m_faults.busy()) {
#ifdef _WIN32
        // The server opens another instance for each connection it takes, so it never stays
        // busy while it takes any: it is kept from looking, and its instances are all ours.
        const QList<QWinEventNotifier *> notifiers = server->findChildren<QWinEventNotifier *>();
        for (QWinEventNotifier *notifier : notifiers)
            notifier->setEnabled(false);
#endif
        fillBacklog();
    } else {
        connect(server, &QLocalServer::newConnection, this, &PipeServer::onNewConnection);
    }
    return true;
}

void PipeServer::closeServer()
{
    qDeleteAll(m_fillers);
    m_fillers.clear();
    m_pipeFillers.clear();
    if (!m_server)
        return;
    m_server->close();
    delete m_server;
    m_server = nullptr;
    printEvent(QStringLiteral("pipe down"));
}

void PipeServer::fillBacklog()
{
    const int before = fillerCount();
    while (fillerCount() < kMaxFillers && addFiller()) {
    }
    if (fillerCount() > before)
        printEvent(
            QStringLiteral("pipe busy: nothing accepted, filled with %1 connections").arg(fillerCount()));
}

bool PipeServer::addFiller()
{
#ifdef _WIN32
    // QLocalSocket waits seconds for an instance of a busy pipe; this open fails at once.
    platform::PipeConnection connection = platform::PipeConnection::open(m_name.toStdString());
    if (!connection.valid())
        return false;
    m_pipeFillers.push_back(std::move(connection));
#else
    auto *filler = new QLocalSocket(this);
    filler->connectToServer(m_name);
    if (!filler->waitForConnected(kFillerConnectMs)) {
        delete filler;
        return false;
    }
    m_fillers.append(filler);
#endif
    return true;
}

int PipeServer::fillerCount() const
{
    return static_cast<int>(m_fillers.size() + static_cast<qsizetype>(m_pipeFillers.size()));
}

void PipeServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_faults.hangUp()) {
            // Closed before the event is printed, so a client that sees it finds the end too.
            socket->abort();
            delete socket;
            printEvent(QStringLiteral("connection closed at once, before its request (fault all=hangup)"));
            continue;
        }
        auto *session = new PipeSession(socket, m_model, m_faults, m_readTimeoutMs, this);
        connect(session, &PipeSession::stopAccepted, this, &PipeServer::stopAccepted);
    }
}
