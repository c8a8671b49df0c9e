#include "pipesession.h"

#include "eventlog.h"
#include "statusmodel.h"

#include <QLocalSocket>

namespace {

// Far above any request of the protocol; a client that sends more without a line feed is
// answered as a bad request instead of growing the buffer.
constexpr qsizetype kMaxRequestBytes = 4096;
constexpr int kSplitPieces = 3;

} // namespace

PipeSession::PipeSession(QLocalSocket *socket, StatusModel &model, FaultTable &faults, int readTimeoutMs,
                         QObject *parent)
    : QObject(parent), m_socket(socket), m_model(model), m_faults(faults)
{
    m_socket->setParent(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &PipeSession::onReadyRead);
    connect(m_socket, &QLocalSocket::disconnected, this, &PipeSession::onDisconnected);
    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, &PipeSession::onReadTimeout);
    m_readTimer.start(readTimeoutMs);
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
}

void PipeSession::onReadyRead()
{
    if (m_phase != Phase::Reading) {
        reportIgnored(m_socket->readAll().size()); // one request per connection
        return;
    }
    m_buffer += m_socket->readAll();
    const qsizetype end = m_buffer.indexOf('\n');
    if (end >= 0) {
        m_readTimer.stop();
        reportIgnored(m_buffer.size() - end - 1);
        handle(m_buffer.left(end));
    } else if (m_buffer.size() > kMaxRequestBytes) {
        m_readTimer.stop();
        const QByteArray answer = compactJson(QJsonObject{{QStringLiteral("ret"), kBadRequestRet}});
        printEvent(QStringLiteral("request too long (%1 bytes without a line feed) -> %2")
                       .arg(m_buffer.size())
                       .arg(QString::fromUtf8(answer)));
        sendAndClose(answer);
    }
}

void PipeSession::reportIgnored(qsizetype bytes)
{
    if (bytes > 0)
        printEvent(QStringLiteral("%1 bytes after the request line ignored").arg(bytes));
}

void PipeSession::onReadTimeout()
{
    printEvent(
        QStringLiteral("request not complete within %1 ms: connection closed").arg(m_readTimer.interval()));
    m_socket->abort();
    finish();
}

void PipeSession::onDisconnected()
{
    switch (m_phase) {
    case Phase::Reading:
        printEvent(QStringLiteral("client closed before a complete request"));
        finish();
        break;
    case Phase::Silent:
        printEvent(QStringLiteral("request %1: client closed the unanswered connection").arg(m_label));
        finish();
        break;
    case Phase::Closing:
        finish();
        break;
    case Phase::Waiting: // the pending answer notices it and finishes
    case Phase::Done:
        break;
    }
}

void PipeSession::handle(const QByteArray &line)
{
    const PipeRequest request = parseRequestLine(line);
    const Fault fault = m_faults.take(request.command);
    m_label = request.command.isEmpty() ? QStringLiteral("(not a request: %1)").arg(QString::fromUtf8(line))
                                        : request.command;
    if (fault.kind != Fault::None)
        m_label += QStringLiteral(" fault=") + fault.text();

    switch (fault.kind) {
    case Fault::Refuse: {
        const QByteArray answer = compactJson(QJsonObject{{QStringLiteral("ret"), fault.value}});
        printEvent(QStringLiteral("request %1 -> %2").arg(m_label, QString::fromUtf8(answer)));
        sendAndClose(answer);
        break;
    }
    case Fault::Close:
        printEvent(QStringLiteral("request %1 -> closed without an answer").arg(m_label));
        m_phase = Phase::Closing;
        m_socket->disconnectFromServer();
        if (m_socket->state() == QLocalSocket::UnconnectedState)
            finish();
        break;
    case Fault::Silent:
        printEvent(QStringLiteral("request %1 -> no answer, connection held open").arg(m_label));
        m_phase = Phase::Silent;
        break;
    case Fault::Slow:
        printEvent(QStringLiteral("request %1 -> answering in %2 ms").arg(m_label).arg(fault.value));
        m_phase = Phase::Waiting;
        QTimer::singleShot(fault.value, this, [this, request, fault] { respond(request, fault); });
        break;
    default:
        respond(request, fault);
        break;
    }
}

void PipeSession::respond(const PipeRequest &request, const Fault &fault)
{
    const PipeOutcome outcome = carryOut(request, m_model);
    m_stopAccepted = outcome.stopService;
    const QByteArray answer = compactJson(outcome.answer);

    switch (fault.kind) {
    case Fault::Malformed: {
        const QByteArray spoiled = malformedAnswer(answer);
        printEvent(QStringLiteral("request %1 -> %2").arg(m_label, QString::fromUtf8(spoiled)));
        sendAndClose(spoiled);
        break;
    }
    case Fault::Oversize: {
        const QByteArray large = oversizeAnswer(outcome.answer);
        printEvent(QStringLiteral("request %1 -> %2 bytes in one write").arg(m_label).arg(large.size()));
        sendAndClose(large);
        break;
    }
    case Fault::Split: {
        const QList<QByteArray> pieces = splitAnswer(answer, kSplitPieces);
        printEvent(QStringLiteral("request %1 -> %2 writes %3 ms apart: %4")
                       .arg(m_label)
                       .arg(pieces.size())
                       .arg(fault.value)
                       .arg(QString::fromUtf8(answer)));
        sendPieces(pieces, fault.value);
        break;
    }
    default:
        printEvent(QStringLiteral("request %1 -> %2").arg(m_label, QString::fromUtf8(answer)));
        sendAndClose(answer);
        break;
    }
}

void PipeSession::sendPieces(QList<QByteArray> pieces, int pauseMs)
{
    if (pieces.size() == 1) {
        sendAndClose(pieces.first());
        return;
    }
    if (clientGone())
        return;
    m_socket->write(pieces.takeFirst());
    m_socket->flush();
    m_phase = Phase::Waiting;
    QTimer::singleShot(pauseMs, this, [this, pieces, pauseMs] { sendPieces(pieces, pauseMs); });
}

void PipeSession::sendAndClose(const QByteArray &bytes)
{
    if (clientGone())
        return;
    m_phase = Phase::Closing;
    m_socket->write(bytes);
    m_socket->flush();
    m_socket->disconnectFromServer();
    if (m_socket->state() == QLocalSocket::UnconnectedState)
        finish();
}

bool PipeSession::clientGone()
{
    if (m_socket->state() == QLocalSocket::ConnectedState)
        return false;
    printEvent(QStringLiteral("request %1: client gone before the answer").arg(m_label));
    finish();
    return true;
}

void PipeSession::finish()
{
    if (m_phase == Phase::Done)
        return;
    m_phase = Phase::Done;
    m_readTimer.stop();
    if (m_stopAccepted)
        emit stopAccepted();
    deleteLater();
}
