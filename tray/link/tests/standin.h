#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The real stand-in service, serving the pipe the client under test finds through params.ini,
// in this test's own runtime directory and without its web port.
class StandIn {
public:
    StandIn() = default;
    ~StandIn();
    StandIn(const StandIn &) = delete;
    StandIn &operator=(const StandIn &) = delete;

    // Starts it with these extra arguments and waits until it serves the pipe.
    bool start(const QStringList &arguments = {});
    // A control command while it runs ("fault GET_STATUS refuse", "down", ...); true on "ok".
    bool send(const QString &command) const;
    bool waitForExit(int timeoutMs);

    // What it printed so far, one event a line.
    QStringList lines();
    int count(const QString &fragment);

private:
    QProcess process;
    QByteArray partial;
    QStringList printed;
};
