#include "exitsequence.h"

#include "config.h"
#include "confirmdialog.h"
#include "pipeclient.h"

#include <platform/ids.h>
#include <platform/namedevent.h>
#include <platform/processes.h>

#include <QDebug>
#include <QThread>

#include <cstdint>
#include <vector>

namespace {

constexpr unsigned kGracefulExitWaitMs = 8000;
constexpr unsigned kTerminateWaitMs = 3000;
constexpr int kStopAttempts = 3;
constexpr unsigned long kStopRetryPauseMs = 120;

struct Client {
    unsigned long pid = 0; // 0: none
    std::uint64_t startTime = 0;
};

// The first process of this user and this installation, in snapshot order, whose executable
// name matches the client's once blanks are removed and letters lowered; none when there is none
// or no snapshot. Another installation's client has the same name but is not ours to close. The
// tray itself never counts, even when a product name makes its own executable look like the
// client.
Client findClient()
{
    std::vector<platform::ProcessEntry> entries;
    platform::ErrorCode error = 0;
    if (!platform::snapshotProcesses(entries, error))
        return {};
    const QString wanted = clientProcessName();
    const unsigned long self = platform::currentProcessId();
    for (const platform::ProcessEntry &entry : entries) {
        if (entry.pid == self || !entry.ownUser)
            continue;
        QString name = QString::fromStdString(entry.exeName);
        name.remove(QLatin1Char(' '));
        if (name.toLower() == wanted && isInstallationProcess(entry.pid))
            return {entry.pid, platform::processStartTime(entry.pid)};
    }
    return {};
}

// Whether the handle still refers to the client that was found: the confirmation may have been
// open for a long time, and the client's id may belong to another process by now.
bool isSameProcess(const platform::ProcessHandle &handle, const Client &client)
{
    if (handle.startTime() == client.startTime)
        return true;
    qWarning() << "TrayIcon client id now names another process: pid=" << client.pid;
    return false;
}

// Ends the client: when asked to close first, waits for it to leave on its own before
// forcing it. Without an open synchronise handle it can be neither waited for nor forced.
void closeClient(const Client &client, bool askedToClose)
{
    using platform::ProcessHandle;
    const unsigned long pid = client.pid;
    ProcessHandle sync = ProcessHandle::open(pid, ProcessHandle::Access::Synchronize);
    const bool opened = sync.valid();
    qInfo() << "TrayIcon OpenProcess(SYNCHRONIZE): pid=" << pid << "success=" << opened
            << "error=" << (opened ? 0 : sync.error());
    // A client that has just ended is no other process: the wait below sees it gone.
    if (!opened || (sync.wait(0) != platform::kWaitObject0 && !isSameProcess(sync, client)))
        return;

    if (askedToClose) {
        platform::ErrorCode waitError = 0;
        const unsigned long result = sync.wait(kGracefulExitWaitMs, &waitError);
        if (result == platform::kWaitObject0) {
            qInfo() << "TrayIcon client exited gracefully: pid=" << pid;
            return;
        }
        qWarning() << "TrayIcon client graceful-exit wait ended: pid=" << pid << "result=" << result
                   << "error=" << (result == platform::kWaitFailed ? waitError : 0);
    }

    ProcessHandle killer = ProcessHandle::open(pid, ProcessHandle::Access::Terminate);
    if (!killer.valid()) {
        qWarning() << "TrayIcon OpenProcess(PROCESS_TERMINATE) failed: pid=" << pid
                   << "error=" << killer.error();
        return;
    }
    if (!isSameProcess(killer, client))
        return;
    platform::ErrorCode terminateError = 0;
    const bool terminated = killer.terminate(0, &terminateError);
    const unsigned long waitResult = sync.wait(kTerminateWaitMs);
    qWarning() << "TrayIcon force terminate attempted: pid=" << pid << "success=" << terminated
               << "error=" << (terminated ? 0 : terminateError) << "waitResult=" << waitResult;
}

} // namespace

ExitSequence::ExitSequence(PipeClient &pipeClient, platform::NamedEvent &exitEvent, QWidget *dialogParent)
    : m_pipeClient(pipeClient), m_exitEvent(exitEvent), m_dialogParent(dialogParent)
{
}

bool ExitSequence::run()
{
    const Client client = findClient();
    const unsigned long clientPid = client.pid;
    qInfo() << "TrayIcon exit requested: clientPid="
            << (clientPid != 0 ? QString::number(clientPid) : QStringLiteral("none"));

    const bool recordingPlanActive = productHomePlanValue() != 0;
    qInfo() << "TrayIcon recording plan detected=" << recordingPlanActive;

    if (!showConfirmDialog(m_dialogParent, tr("Exit Service Management"),
                           question(clientPid != 0, recordingPlanActive), false, true)) {
        qInfo() << "TrayIcon exit cancelled by user";
        return false;
    }
    qInfo() << "TrayIcon exit confirmed by user";

    if (clientPid != 0) {
        if (m_exitEvent.valid()) {
            platform::ErrorCode setError = 0;
            const bool set = m_exitEvent.set(&setError);
            qInfo() << "TrayIcon SetEvent exit request: success=" << set << "error=" << (set ? 0 : setError);
            closeClient(client, true);
        } else {
            // The client cannot be asked, yet the user was told it would be closed: force it
            // rather than leave it running without its service.
            closeClient(client, false);
        }
    }

    const bool serviceStopped = stopService();
    if (!serviceStopped && m_pipeClient.lastStatus().connected)
        showConfirmDialog(m_dialogParent, tr("Exit Service Management"),
                          tr("Failed to notify the service. It may still be running."), true, false);

    qInfo() << "TrayIcon exit sequence complete: serviceStopped=" << serviceStopped;
    return true;
}

QString ExitSequence::question(bool clientRunning, bool recordingPlanActive)
{
    if (!clientRunning && !recordingPlanActive)
        return tr("Exiting will stop the background service. Stop the service and exit the tray?");
    if (!clientRunning)
        return tr("A recording plan is currently active. Exiting will stop recording and stop the "
                  "background service. Stop the service and exit the tray?");
    if (!recordingPlanActive)
        return tr("A running client was detected. Exiting will close the client and stop the "
                  "background service. Continue?");
    return tr("A running client was detected and a recording plan is currently active. Exiting "
              "will close the client, stop recording and stop the background service. Continue?");
}

bool ExitSequence::stopService()
{
    bool stopped = false;
    for (int attempt = 1; attempt <= kStopAttempts && !stopped; ++attempt) {
        stopped = m_pipeClient.stopService();
        qInfo() << "TrayIcon STOP_SERVICE attempt=" << attempt << "success=" << stopped;
        if (!stopped)
            QThread::msleep(kStopRetryPauseMs);
    }
    return stopped;
}
