#include "testenv.h"

#include <core/uniquename.h>
#include <core/waituntil.h>

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QThread>

#include <ostream>

QString offscreenPlatform()
{
#ifdef Q_OS_WIN
    return QStringLiteral("minimal:enable_fonts");
#else
    return QStringLiteral("offscreen");
#endif
}

void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

QString uniqueInstanceId(const QString &stem)
{
    return QString::fromStdString(testsupport::uniqueName(stem.toStdString()));
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    return testsupport::waitUntil(condition, timeoutMs,
                                  [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

namespace {

constexpr int kToolMs = 20000;

bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    return process.waitForFinished(kToolMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The user database is locked while another test adds or removes a user: tried again a few
// times.
bool runLocked(const QString &program, const QStringList &arguments)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (runTool(program, arguments))
            return true;
        QThread::msleep(300);
    }
    return false;
}

} // namespace

ThrowawayUser::ThrowawayUser() : m_name(QString::fromStdString(testsupport::uniqueName("orl")))
{
    if (!runLocked(QStringLiteral("useradd"), {QStringLiteral("--no-create-home"), QStringLiteral("--shell"),
                                               QStringLiteral("/usr/sbin/nologin"), m_name}))
        return;
    const auto idOf = [this](const QString &option) {
        QProcess id;
        id.start(QStringLiteral("id"), {option, m_name});
        id.waitForFinished();
        bool ok = false;
        const int value = id.readAllStandardOutput().trimmed().toInt(&ok);
        return ok ? value : -1;
    };
    m_gid = idOf(QStringLiteral("-g"));
    m_uid = m_gid >= 0 ? idOf(QStringLiteral("-u")) : -1;
}

ThrowawayUser::~ThrowawayUser()
{
    if (valid())
        runLocked(QStringLiteral("userdel"), {m_name});
}

void ThrowawayUser::prepare(QProcess &process, const QString &program, const QStringList &arguments) const
{
    // setpriv replaces itself with the program, so the process is the program's own.
    process.setProgram(QStringLiteral("setpriv"));
    process.setArguments(QStringList{QStringLiteral("--reuid=%1").arg(m_uid),
                                     QStringLiteral("--regid=%1").arg(m_gid),
                                     QStringLiteral("--clear-groups"), program} +
                         arguments);
}

bool ThrowawayUser::run(const QString &shellCommand) const
{
    return valid() &&
           runTool(QStringLiteral("runuser"), {QStringLiteral("-u"), m_name, QStringLiteral("--"),
                                               QStringLiteral("sh"), QStringLiteral("-c"), shellCommand});
}

bool ThrowawayUser::own(const QString &path) const
{
    return valid() && runTool(QStringLiteral("chown"), {m_name, path});
}
