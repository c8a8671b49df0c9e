#include "standinservice.h"

#include "appdir.h"

#include <QLocalSocket>
#include <QRegularExpression>

namespace {

constexpr int kStartTimeoutMs = 10000;

} // namespace

StandInService::StandInService(QString instanceId)
    : m_instanceId(std::move(instanceId)), m_program(buildProgram())
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

StandInService::~StandInService()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString StandInService::buildProgram()
{
    return AppDir::buildAppDir() + QLatin1Char('/') +
           AppDir::programFileName(QStringLiteral("service-standin"));
}

bool StandInService::start(const QStringList &arguments)
{
    QStringList all = {QStringLiteral("--instance-id"), m_instanceId};
    const qsizetype portAt = arguments.indexOf(QStringLiteral("--http-port"));
    if (portAt >= 0) {
        m_httpPort = static_cast<quint16>(arguments.value(portAt + 1).toUInt());
    } else {
        m_httpPort = m_fixedHttpPort ? *m_fixedHttpPort : freeTcpPort();
        all << QStringLiteral("--http-port") << QString::number(m_httpPort);
    }
    m_partial.clear();
    m_lines.clear();
    m_controlServer.clear();
    m_process.start(m_program, all + arguments);
    if (!m_process.waitForStarted(kStartTimeoutMs) || !waitForLine(QStringLiteral("ready "), kStartTimeoutMs))
        return false;
    // "ready pipe=<socket> control=<socket> http=<port>"
    static const QRegularExpression control(QStringLiteral(R"(^ready .*control=(\S+))"));
    for (const QString &line : std::as_const(m_lines)) {
        const QRegularExpressionMatch match = control.match(line);
        if (match.hasMatch())
            m_controlServer = match.captured(1);
    }
    return true;
}

QStringList StandInService::lines()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromUtf8(m_partial.left(end)));
        m_partial.remove(0, end + 1);
    }
    return m_lines;
}

int StandInService::count(const QString &fragment)
{
    int n = 0;
    for (const QString &line : lines())
        n += line.contains(fragment) ? 1 : 0;
    return n;
}

bool StandInService::waitForLine(const QString &fragment, int timeoutMs)
{
    return waitUntil([&] { return count(fragment) > 0; }, timeoutMs);
}

bool StandInService::waitForExit(int timeoutMs)
{
    const bool exited = waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    lines();
    return exited;
}

void StandInService::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
    lines();
}

int StandInService::send(const QString &command, QString *reply) const
{
    QProcess client;
    client.start(m_program,
                 {QStringLiteral("--instance-id"), m_instanceId, QStringLiteral("--send"), command});
    if (!client.waitForFinished(kStartTimeoutMs))
        return -1;
    if (reply)
        *reply = QString::fromUtf8(client.readAllStandardOutput() + client.readAllStandardError()).trimmed();
    return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
}

bool StandInService::sendDirect(const QString &command) const
{
    if (m_controlServer.isEmpty())
        return false;
    QLocalSocket control;
    control.connectToServer(m_controlServer);
    if (!control.waitForConnected(kStartTimeoutMs))
        return false;
    control.write(command.toUtf8() + '\n');
    QByteArray reply;
    while (!reply.contains('\n') && control.waitForReadyRead(kStartTimeoutMs))
        reply += control.readAll();
    return reply.startsWith("ok");
}
