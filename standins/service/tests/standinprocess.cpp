#include "standinprocess.h"

#include "names.h"
#include "testenv.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

constexpr int kStartTimeoutMs = 10000;

} // namespace

QString standInProgram()
{
    return QStringLiteral(SERVICE_STANDIN_PROGRAM);
}

StandInProcess::StandInProcess() : m_instanceId(uniqueInstanceId(QStringLiteral("Standin")))
{
    m_process.setProgram(standInProgram());
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

StandInProcess::~StandInProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool StandInProcess::start(const QStringList &arguments)
{
    QStringList all = {QStringLiteral("--instance-id"), m_instanceId};
    const qsizetype portAt = arguments.indexOf(QStringLiteral("--http-port"));
    if (portAt >= 0) {
        m_httpPort = static_cast<quint16>(arguments.value(portAt + 1).toUInt());
    } else {
        m_httpPort = freeTcpPort();
        all << QStringLiteral("--http-port") << QString::number(m_httpPort);
    }
    m_process.setArguments(all + arguments);
    m_process.start();
    return m_process.waitForStarted(kStartTimeoutMs) &&
           waitForLine(QStringLiteral("ready "), kStartTimeoutMs);
}

QString StandInProcess::pipeName() const
{
    return pipeServerName(m_instanceId);
}

QStringList StandInProcess::lines()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromUtf8(m_partial.left(end)));
        m_partial.remove(0, end + 1);
    }
    return m_lines;
}

bool StandInProcess::waitForLine(const QString &fragment, int timeoutMs)
{
    return waitUntil(
        [&] {
            for (const QString &line : lines()) {
                if (line.contains(fragment))
                    return true;
            }
            return false;
        },
        timeoutMs);
}

bool StandInProcess::waitForExit(int timeoutMs)
{
    const bool exited = waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    lines();
    return exited;
}

int StandInProcess::send(const QString &command, QString *reply) const
{
    QProcess client;
    client.start(standInProgram(),
                 {QStringLiteral("--instance-id"), m_instanceId, QStringLiteral("--send"), command});
    if (!client.waitForFinished(10000))
        return -1;
    if (reply)
        *reply = QString::fromUtf8(client.readAllStandardOutput() + client.readAllStandardError()).trimmed();
    return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
}

QByteArray PipeExchange::bytes() const
{
    QByteArray all;
    for (const QByteArray &chunk : chunks)
        all += chunk;
    return all;
}

QJsonObject PipeExchange::json() const
{
    return QJsonDocument::fromJson(bytes()).object();
}

PipeExchange exchange(const QString &serverName, const QByteArray &request, int waitMs)
{
    PipeExchange result;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(1000))
        return result;
    result.connected = true;
    QElapsedTimer clock;
    clock.start();
    socket.write(request);
    socket.flush();
    const QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            result.closedByServer = socket.state() == QLocalSocket::UnconnectedState;
            break;
        }
        if (result.firstByteMs < 0)
            result.firstByteMs = clock.elapsed();
        result.chunks.append(socket.readAll());
    }
    return result;
}

bool canConnect(const QString &serverName, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QJsonObject HttpExchange::json() const
{
    return QJsonDocument::fromJson(body).object();
}

HttpExchange httpRequest(quint16 port, const QByteArray &request)
{
    HttpExchange result;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return result;
    result.connected = true;
    socket.write(request);
    const QDeadlineTimer deadline(3000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        result.raw += socket.readAll();
    }
    result.raw += socket.readAll();
    const qsizetype headEnd = result.raw.indexOf("\r\n\r\n");
    if (headEnd >= 0) {
        result.code = result.raw.split(' ').value(1).toInt();
        result.body = result.raw.mid(headEnd + 4);
    }
    return result;
}

HttpExchange httpGetStatus(quint16 port)
{
    return httpRequest(port, "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}
