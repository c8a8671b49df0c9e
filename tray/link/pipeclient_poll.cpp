// PipeClient's poll cycle: the timer's tick, the worker thread's exchanges and the result applied
// on the GUI thread. PipeClient's commands and set-up are in pipeclient.cpp.

#include "pipeclient.h"

#include "pipeprotocol.h"

#include <QDebug>

#include <system_error>

namespace {

constexpr int kOfflineAfterFailures = 3;
constexpr qint64 kRepeatWarningIntervalMs = 60000;

} // namespace

struct PipeClient::PollResult {
    PipeClient *client = nullptr;
    bool transportOk = false;
    QByteArray answer;
    int failureCount = 0;
};

void PipeClient::poll()
{
    // A tick during a running cycle is dropped, so a slow service builds no backlog.
    if (pollInFlight.exchange(true))
        return;
    if (worker.joinable())
        worker.join();
    try {
        worker = startWorker(this);
    } catch (const std::system_error &error) {
        // Without this the flag would stay set and polling would stop for good.
        pollInFlight.exchange(false);
        const qint64 current = now();
        if (current - lastThreadWarningMs >= kRepeatWarningIntervalMs) {
            lastThreadWarningMs = current;
            qWarning() << "PipeClient poll: worker thread not started, error=" << error.code().value();
        }
    }
}

void PipeClient::runPollCycle(PipeClient *self)
{
    PollResult result;
    result.client = self;
    result.transportOk = self->request(getStatusRequest(), result.answer, false);
    if (self->stopping.load()) {
        self->pollInFlight.exchange(false);
        return;
    }

    if (!result.transportOk) {
        result.failureCount = ++self->consecutiveFailures;
        // Going offline takes a third failed cycle whose immediate retry fails as well.
        if (result.failureCount >= kOfflineAfterFailures) {
            QByteArray confirmation;
            if (self->request(getStatusRequest(), confirmation, false)) {
                Status confirmed;
                self->parseStatus(confirmation, confirmed);
                if (confirmed.connected) {
                    result.transportOk = true;
                    result.answer = confirmation;
                }
            }
        }
    }

    if (result.transportOk)
        self->deliverPendingAutoStart();

    QMetaObject::invokeMethod(
        self, [result]() { result.client->applyPollResult(result); }, Qt::QueuedConnection);
}

void PipeClient::deliverPendingAutoStart()
{
    const int value = pendingAutoStart.load();
    if (value == -1)
        return;
    QByteArray answer;
    const bool answered = request(setAutoStartRequest(value == 1), answer, false);
    settleDelivery(value, answered, answered ? answerRet(answer) : -1);
}

void PipeClient::settleDelivery(int delivered, bool answered, int ret)
{
    const int value = delivered == 1 ? 1 : 0;
    if (answered && ret == 0) {
        // Clear only what was delivered: a switch the user made meanwhile stays queued.
        int expected = delivered;
        pendingAutoStart.compare_exchange_strong(expected, -1);
        pendingLogKind = 0;
        qInfo() << QStringLiteral("PipeClient poll: pending SET_AUTOSTART(enable=%1) delivered").arg(value);
        return;
    }
    const int kind = answered ? 1 : 2;
    const qint64 current = now();
    if (pendingLogKind == kind && current - pendingLogMs < kRepeatWarningIntervalMs)
        return;
    pendingLogKind = kind;
    pendingLogMs = current;
    if (answered)
        qWarning() << QStringLiteral("PipeClient poll: pending SET_AUTOSTART(enable=%1) rejected by service")
                          .arg(value);
    else
        qWarning() << QStringLiteral(
                          "PipeClient poll: pending SET_AUTOSTART(enable=%1) still unreachable, kept queued")
                          .arg(value);
}

void PipeClient::applyPollResult(const PollResult &result)
{
    if (result.transportOk) {
        consecutiveFailures = 0;
        Status s;
        parseStatus(result.answer, s);
        if (s.connected && hasStatus && !status.connected)
            qInfo() << "PipeClient connection state: recovered";
        hasStatus = true;
        // Until the service confirms, the user's latest choice is what the panel shows.
        const int pending = pendingAutoStart.load();
        if (pending != -1) {
            s.autoStart = pending == 1;
        } else if (autoStartHoldCount > 0) {
            s.autoStart = autoStartHoldValue;
            --autoStartHoldCount;
        }
        status = s;
        emit statusUpdated(s);
    } else if (result.failureCount >= kOfflineAfterFailures) {
        // Offline keeps what is known about the service but nothing claims to run.
        Status s = status;
        s.connected = false;
        s.restarting = false;
        for (ProcessInfo &process : s.processes)
            process.running = false;
        if (!hasStatus || status.connected)
            qWarning() << "PipeClient connection state: offline after 3 confirmed failures";
        hasStatus = true;
        status = s;
        emit statusUpdated(s);
    } else {
        emit statusUpdated(status);
    }
    pollInFlight.exchange(false);
}
