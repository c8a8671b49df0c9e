#include "otheruser.h"

#include <QProcess>
#include <QThread>
#include <QUuid>

namespace {

constexpr int kCommandMs = 20000;
constexpr int kLockedAttempts = 5;
constexpr int kLockedPauseMs = 300;

bool runTool(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(kCommandMs);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The user database is locked while another test adds or removes a user: tried again a few
// times.
bool runLocked(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    for (int attempt = 0; attempt < kLockedAttempts; ++attempt) {
        if (runTool(program, arguments, output))
            return true;
        QThread::msleep(kLockedPauseMs);
    }
    return false;
}

} // namespace

OtherUser::OtherUser() : m_name(QStringLiteral("orlt") + QUuid::createUuid().toString(QUuid::Id128).left(10))
{
    QString output;
    m_created = runLocked(QStringLiteral("useradd"),
                          {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), m_name},
                          &output);
    if (!m_created)
        m_whyNot = QStringLiteral("cannot create a second local user (needs root and useradd): ") + output;
}

OtherUser::~OtherUser()
{
    if (m_created)
        runLocked(QStringLiteral("userdel"), {m_name});
}

bool OtherUser::run(const QString &shellCommand) const
{
    return m_created &&
           runTool(QStringLiteral("runuser"), {QStringLiteral("-u"), m_name, QStringLiteral("--"),
                                               QStringLiteral("sh"), QStringLiteral("-c"), shellCommand});
}

bool OtherUser::own(const QString &path) const
{
    return m_created && runTool(QStringLiteral("chown"), {m_name, path});
}
