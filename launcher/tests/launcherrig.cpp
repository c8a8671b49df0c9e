#include "launcherrig.h"

#include "platform/namedevent.h"
#include "platform/processes.h"

#include <installation/names.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

struct LauncherRig::ExitEvent {
    platform::NamedEvent event;
};

namespace {

constexpr int kStartTimeoutMs = 10000;

#ifdef Q_OS_WIN
// What "sc query" prints, for the command stand-in ("%NAME%" becomes the service asked for).
const char kRunningAnswer[] = "SERVICE_NAME: %NAME%\n        STATE              : 4  RUNNING\n";
const char kStoppedAnswer[] = "SERVICE_NAME: %NAME%\n        STATE              : 1  STOPPED\n";
#endif

// Answers "systemctl show" in the format the OS layer judges and records every call.
const char kFakeSystemctl[] = R"(#!/bin/sh
echo "$*" >> "$ORLUNE_TEST_SYSTEMCTL_DIR/calls"
if [ "$1" = show ]; then
    for last; do :; done
    state=$(cat "$ORLUNE_TEST_SYSTEMCTL_DIR/state" 2>/dev/null)
    if [ "$state" = running ]; then
        printf 'Id=%s.service\nActiveState=active\nSubState=running\n' "$last"
    else
        printf 'Id=%s.service\nActiveState=inactive\nSubState=dead\n' "$last"
    fi
fi
exit 0
)";

} // namespace

LauncherRig::LauncherRig()
    : m_instanceId(uniqueInstanceId(QStringLiteral("Client"))), m_httpPort(freeTcpPort()),
      m_service(m_instanceId)
{
    m_client = m_app.addProgram(QStringLiteral("Orlune"));
    m_service.setProgram(m_app.addProgram(QStringLiteral("service-standin")));
    m_service.setHttpPort(m_httpPort);
    m_app.writeParams({{QStringLiteral("product/instanceId"), m_instanceId},
                       {QStringLiteral("client/torvikServerPort"), QString::number(m_httpPort)}});
#ifdef Q_OS_WIN
    // The client's own folder is searched before the system's, where the real ones lie.
    for (const char *command : {"sc.exe", "net.exe"})
        QFile::copy(QStringLiteral(LAUNCHER_COMMAND_SIM), m_app.filePath(QLatin1String(command)));
#else
    QFile script(m_tools.filePath(QStringLiteral("systemctl")));
    if (script.open(QIODevice::WriteOnly)) {
        script.write(kFakeSystemctl);
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
#endif
    setServiceState(ServiceState::Running);
}

LauncherRig::~LauncherRig()
{
    // Clients started by a restart are not our children; end them by their traced ids.
    std::vector<platform::ProcessEntry> processes;
    platform::ErrorCode error = 0;
    platform::snapshotProcesses(processes, error);
    const QList<qint64> pids = tracedPids();
    for (const platform::ProcessEntry &entry : processes) {
        if (QString::fromStdString(entry.exeName) == AppDir::programFileName(QStringLiteral("Orlune")) &&
            pids.contains(static_cast<qint64>(entry.pid)))
            platform::ProcessHandle::open(entry.pid, platform::ProcessHandle::Access::Terminate).terminate(0);
    }
    for (const auto &client : m_clients) {
        if (client->state() != QProcess::NotRunning) {
            client->kill();
            client->waitForFinished(5000);
        }
    }
}

bool LauncherRig::isValid() const
{
    return m_app.isValid() && m_tools.isValid() && !m_client.isEmpty() && !m_service.program().isEmpty() &&
           m_httpPort != 0;
}

void LauncherRig::setServiceState(ServiceState state)
{
#ifdef Q_OS_WIN
    QFile file(m_tools.filePath(QStringLiteral("answer")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(state == ServiceState::Running ? kRunningAnswer : kStoppedAnswer);
#else
    QFile file(m_tools.filePath(QStringLiteral("state")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(state == ServiceState::Running ? "running" : "stopped");
#endif
}

QString LauncherRig::serviceQueryCall()
{
#ifdef Q_OS_WIN
    return QStringLiteral("query ");
#else
    return QStringLiteral("show ");
#endif
}

int LauncherRig::exitCodeAsSeen(int code)
{
#ifdef Q_OS_WIN
    return code;
#else
    return code & 0xFF;
#endif
}

QStringList LauncherRig::systemctlCalls() const
{
    return readLines(m_tools.filePath(QStringLiteral("calls")));
}

QProcess *LauncherRig::startClient(const QStringList &arguments, const QMap<QString, QString> &hooks)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       m_tools.path() + QDir::listSeparator() + environment.value("PATH"));
    environment.insert(QStringLiteral("ORLUNE_TEST_SYSTEMCTL_DIR"), m_tools.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), offscreenPlatform());
#ifdef Q_OS_WIN
    // Without a console Qt sends debug messages to the debugger; the tests read them on stderr.
    environment.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
#endif
    environment.insert(QStringLiteral("ORLUNE_STANDIN_TRACE"), m_tools.filePath(QStringLiteral("trace")));
    environment.insert(QStringLiteral("ORLUNE_STANDIN_MESSAGEBOX_MS"), QStringLiteral("0"));
    for (auto it = hooks.cbegin(); it != hooks.cend(); ++it)
        environment.insert(QStringLiteral("ORLUNE_STANDIN_") + it.key(), it.value());

    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    // Files rather than pipes: a restarted client inherits them and may write after its
    // parent's pipes are gone.
    const QString output = m_tools.filePath(QStringLiteral("client-%1").arg(m_clients.size()));
    process->setStandardOutputFile(output + QStringLiteral(".out"));
    process->setStandardErrorFile(output + QStringLiteral(".err"));
    m_stderr.insert(process.get(), output + QStringLiteral(".err"));
    process->start(m_client, arguments);
    process->waitForStarted(kStartTimeoutMs);
    m_clients.push_back(std::move(process));
    return m_clients.back().get();
}

int LauncherRig::runClient(const QStringList &arguments, const QMap<QString, QString> &hooks, int timeoutMs)
{
    QProcess *client = startClient(arguments, hooks);
    if (!waitForExit(client, timeoutMs) || client->exitStatus() != QProcess::NormalExit)
        return -1000;
    return client->exitCode();
}

bool LauncherRig::waitForExit(QProcess *process, int timeoutMs)
{
    return waitUntil([process] { return process->state() == QProcess::NotRunning; }, timeoutMs);
}

QStringList LauncherRig::stderrLines(QProcess *process) const
{
    return readLines(m_stderr.value(process));
}

QStringList LauncherRig::trace() const
{
    return readLines(m_tools.filePath(QStringLiteral("trace")));
}

QStringList LauncherRig::trace(qint64 pid) const
{
    const QString prefix = QString::number(pid) + QLatin1Char(' ');
    QStringList lines;
    for (const QString &line : trace()) {
        if (line.startsWith(prefix))
            lines << line.mid(prefix.size());
    }
    return lines;
}

QList<qint64> LauncherRig::tracedPids() const
{
    QList<qint64> pids;
    for (const QString &line : trace()) {
        const qint64 pid = line.section(QLatin1Char(' '), 0, 0).toLongLong();
        if (pid > 0 && !pids.contains(pid))
            pids << pid;
    }
    return pids;
}

bool LauncherRig::waitForTrace(qint64 pid, const QString &fragment, int timeoutMs)
{
    return waitUntil(
        [&] {
            for (const QString &line : trace(pid)) {
                if (line.contains(fragment))
                    return true;
            }
            return false;
        },
        timeoutMs);
}

QString LauncherRig::logPath() const
{
    return m_app.filePath("log/" + installation::clientLogFileName());
}

QStringList LauncherRig::logMessages(qint64 pid) const
{
    // "<date> <time> [<level>] PID=<pid> TID=<tid> <message>"
    static const QRegularExpression line(QStringLiteral(R"(^\S+ \S+ \[(\w+)\] PID=(\d+) TID=\d+ (.*)$)"));
    QStringList messages;
    for (const QString &text : readLines(logPath())) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch() && match.captured(2).toLongLong() == pid)
            messages << match.captured(1) + QLatin1Char(' ') + match.captured(3);
    }
    return messages;
}

bool LauncherRig::createExitRequest()
{
    m_exitEvent = std::make_unique<ExitEvent>();
    m_exitEvent->event =
        platform::NamedEvent::create(installation::exitRequestEventName(m_instanceId).toStdString(),
                                     platform::NamedEvent::Security::Default);
    return m_exitEvent->event.valid();
}

bool LauncherRig::setExitRequest()
{
    return m_exitEvent && m_exitEvent->event.set();
}

QList<StartupStep> startupSteps(const QStringList &messages)
{
    static const QRegularExpression line(QStringLiteral(R"(^info startup: (.*), elapsed=(\d+)ms$)"));
    QList<StartupStep> steps;
    for (const QString &message : messages) {
        const QRegularExpressionMatch match = line.match(message);
        if (match.hasMatch())
            steps.append({match.captured(1), match.captured(2).toLongLong()});
    }
    return steps;
}
