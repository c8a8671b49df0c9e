#pragma once

#include "testenv.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

// The stand-in service program, run by a test under one installation identifier. It prints one
// event a line; this keeps what the current run printed.
class StandInService {
public:
    explicit StandInService(QString instanceId = uniqueInstanceId(QStringLiteral("Standin")));
    // Kills it when it still runs.
    ~StandInService();
    StandInService(const StandInService &) = delete;
    StandInService &operator=(const StandInService &) = delete;

    // The program in the build tree's application directory.
    static QString buildProgram();
    // Runs this file instead, e.g. a copy inside a test's own application directory.
    void setProgram(const QString &path) { m_program = path; }
    const QString &program() const { return m_program; }

    // The web port start() passes unless its arguments name one; 0 runs it without a web server.
    // Unset, every start picks a port that was free a moment before.
    void setHttpPort(quint16 port) { m_fixedHttpPort = port; }

    // Starts it with --instance-id, --http-port and these arguments and waits for its "ready"
    // line. What an earlier run printed is dropped, so a restart waits for its own "ready".
    bool start(const QStringList &arguments = {});

    const QString &instanceId() const { return m_instanceId; }
    // The web port of the latest start (0: none).
    quint16 httpPort() const { return m_httpPort; }
    QProcess &process() { return m_process; }

    // What the current run printed so far, line by line.
    QStringList lines();
    // Lines that contain `fragment`.
    int count(const QString &fragment);
    bool waitForLine(const QString &fragment, int timeoutMs = 5000);
    bool waitForExit(int timeoutMs = 5000);
    // Ends it at once, as a crash would, and waits until it is gone.
    void kill();

    // A control command through the program's own client mode (--send): its exit code (-1 when
    // it did not end normally), and what it printed in `reply`.
    int send(const QString &command, QString *reply = nullptr) const;
    // A control command straight to the running program's control channel, without starting a
    // client first, for tests with only a few hundred milliseconds to spare; true on "ok".
    bool sendDirect(const QString &command) const;

private:
    QString m_instanceId;
    QString m_program;
    std::optional<quint16> m_fixedHttpPort;
    quint16 m_httpPort = 0;
    QString m_controlServer;
    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
};
