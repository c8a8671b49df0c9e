#pragma once

#include "appdir.h"
#include "standinservice.h"
#include "testenv.h"

#include <QHash>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// One installation for a test: a temporary application directory with copies of the client
// and the stand-in service, its own installation identifier and web port, stand-ins for the
// service commands (a "systemctl" script first on PATH; on Windows the command stand-in as
// "sc" and "net" beside the client), and the stand-in libraries' trace file.
class LauncherRig {
public:
    enum class ServiceState { Running, Stopped };

    LauncherRig();
    ~LauncherRig();
    LauncherRig(const LauncherRig &) = delete;
    LauncherRig &operator=(const LauncherRig &) = delete;

    bool isValid() const;
    const QString &instanceId() const { return m_instanceId; }
    quint16 httpPort() const { return m_httpPort; }
    QString appPath() const { return m_app.path(); }
    // Adds or replaces params.ini keys ("section/key").
    void writeParams(const QMap<QString, QString> &values) { m_app.writeParams(values); }
    // Copies the skin and the translations into the application directory.
    void addAssets() { m_app.addAssets(); }

    // What the service commands report about the service, and the calls they received
    // (arguments only: "start NAME", a query begins with serviceQueryCall()).
    void setServiceState(ServiceState state);
    QStringList systemctlCalls() const;
    static QString serviceQueryCall();
    // An exit code as a parent sees it: Linux keeps only the low eight bits (-1 reads 255).
    static int exitCodeAsSeen(int code);

    // The stand-in service with its web server on httpPort(); waits for it to be ready.
    bool startService(const QStringList &arguments = {}) { return m_service.start(arguments); }
    // A control command to the running stand-in ("http on", "http-status 1", ...), straight to
    // its control channel: some tests have only a few hundred milliseconds.
    bool sendToService(const QString &command) const { return m_service.sendDirect(command); }

    // Starts a client with these arguments and test hooks (ORLUNE_STANDIN_* without prefix).
    QProcess *startClient(const QStringList &arguments = {}, const QMap<QString, QString> &hooks = {});
    // Runs a client to its end; its exit code as the process reports it (see exitCodeAsSeen).
    int runClient(const QStringList &arguments = {}, const QMap<QString, QString> &hooks = {},
                  int timeoutMs = 30000);
    static bool waitForExit(QProcess *process, int timeoutMs);
    // Standard error of a client so far (its debug messages).
    QStringList stderrLines(QProcess *process) const;

    // Trace lines of the stand-in libraries, all processes or one ("<pid> " removed).
    QStringList trace() const;
    QStringList trace(qint64 pid) const;
    QList<qint64> tracedPids() const;
    bool waitForTrace(qint64 pid, const QString &fragment, int timeoutMs);

    // Lines of the client log, and the message part of its lines of one process.
    QString logPath() const;
    QStringList logMessages(qint64 pid) const;

    // Creates the exit-request event of this installation and sets it, as the tray does.
    bool createExitRequest();
    bool setExitRequest();

private:
    IsolatedRuntime m_runtime;
    AppDir m_app;
    QTemporaryDir m_tools;
    QString m_instanceId;
    quint16 m_httpPort = 0;
    QString m_client;
    StandInService m_service;
    std::vector<std::unique_ptr<QProcess>> m_clients;
    QHash<const QProcess *, QString> m_stderr;
    struct ExitEvent;
    std::unique_ptr<ExitEvent> m_exitEvent;
};

// "startup: <step>, elapsed=<ms>ms" lines reduced to step and time.
struct StartupStep {
    QString step;
    qint64 elapsedMs = -1;
};
QList<StartupStep> startupSteps(const QStringList &messages);
