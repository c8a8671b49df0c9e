#include "pipeclient.h"

#include "config.h"
#include "pipeexchange.h"
#include "pipeprotocol.h"

#include <QDateTime>
#include <QDebug>

namespace {

constexpr qint64 kStatusWarningIntervalMs = 60000;

} // namespace

PipeClient::PipeClient(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<PipeClient::Status>();
    connect(&pollTimer, &QTimer::timeout, this, &PipeClient::poll);
    startWorker = [](PipeClient *client) { return std::thread(&PipeClient::runPollCycle, client); };
}

PipeClient::~PipeClient()
{
    // A cycle still in its first exchange ends without handing back; a later one queues a
    // result that the QObject base discards with this object.
    stopping.exchange(true);
    if (worker.joinable())
        worker.join();
}

void PipeClient::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

qint64 PipeClient::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

void PipeClient::start(int pollIntervalMs)
{
    qInfo() << "PipeClient start: pipePath=" << pipePath() << "pollIntervalMs=" << pollIntervalMs;
    pollTimer.start(pollIntervalMs);
    poll();
}

bool PipeClient::request(const QByteArray &requestBytes, QByteArray &answer, bool logFailures)
{
    std::lock_guard<std::mutex> lock(requestMutex);
    // Read anew for every exchange, so an edited params.ini applies to the next request.
    const std::string path = pipePath().toStdString();
    return exchangeOverPipe(path, requestBytes, answer, logFailures, systemPipeOps());
}

void PipeClient::parseStatus(const QByteArray &answer, Status &out)
{
    const StatusDecode decoded = decodeStatus(answer, out);
    if (decoded.outcome == StatusDecode::Outcome::Connected)
        return;
    // One limit shared by both warnings: a service that keeps failing writes one line a minute.
    const qint64 current = now();
    if (current - lastStatusWarningMs.load() < kStatusWarningIntervalMs)
        return;
    lastStatusWarningMs.exchange(current);
    if (decoded.outcome == StatusDecode::Outcome::InvalidJson)
        qWarning() << "PipeClient GET_STATUS invalid JSON, error=" << decoded.parseError;
    else
        qWarning() << "PipeClient GET_STATUS rejected, ret=" << decoded.ret;
}

bool PipeClient::setAutoStart(bool enable)
{
    QByteArray answer;
    const bool answered = request(setAutoStartRequest(enable), answer, true);
    const int ret = answered ? answerRet(answer) : -1;
    const int value = enable ? 1 : 0;
    if (ret == 0) {
        pendingAutoStart.exchange(-1);
        qInfo()
            << QStringLiteral("PipeClient SET_AUTOSTART requested enable=%1 result=success ret=0").arg(value);
    } else {
        qWarning() << QStringLiteral("PipeClient SET_AUTOSTART requested enable=%1 result=not-confirmed "
                                     "ret=%2; queued for retry")
                          .arg(value)
                          .arg(ret);
        pendingAutoStart.exchange(value);
    }
    // Show the user's choice at once, and for the next records while the service catches up.
    status.autoStart = enable;
    autoStartHoldValue = enable;
    autoStartHoldCount = 3;
    emit statusUpdated(status);
    return ret == 0;
}

bool PipeClient::stopService()
{
    QByteArray answer;
    if (!request(stopServiceRequest(), answer, true)) {
        qWarning() << "PipeClient STOP_SERVICE result=unreachable";
        return false;
    }
    const int ret = answerRet(answer);
    if (ret != 0) {
        qWarning() << "PipeClient STOP_SERVICE result=rejected ret=" << ret;
        return false;
    }
    qInfo() << "PipeClient STOP_SERVICE result=success ret=" << ret;
    return true;
}
