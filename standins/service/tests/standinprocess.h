#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// The real stand-in program, started for one test under its own installation identifier and
// on a free web port (unless the test passes --http-port itself).
class StandInProcess {
public:
    StandInProcess();
    ~StandInProcess();
    StandInProcess(const StandInProcess &) = delete;
    StandInProcess &operator=(const StandInProcess &) = delete;

    // Starts it with these arguments (plus --instance-id) and waits for its "ready" line.
    bool start(const QStringList &arguments = {});

    const QString &instanceId() const { return m_instanceId; }
    quint16 httpPort() const { return m_httpPort; }
    QString pipeName() const;

    // Everything it printed so far, line by line.
    QStringList lines();
    bool waitForLine(const QString &fragment, int timeoutMs = 5000);
    bool waitForExit(int timeoutMs = 5000);
    QProcess &process() { return m_process; }

    // Runs the program in client mode with --send; its exit code, and its output in `reply`.
    int send(const QString &command, QString *reply = nullptr) const;

private:
    QString m_instanceId;
    quint16 m_httpPort = 0;
    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
};

// What a client saw of one pipe exchange, reading until the server closed or `waitMs` passed.
struct PipeExchange {
    bool connected = false;
    QList<QByteArray> chunks; // one entry per read, as the bytes arrived
    bool closedByServer = false;
    qint64 firstByteMs = -1; // time from the request to the first byte
    QByteArray bytes() const;
    QJsonObject json() const; // empty when the bytes are not one JSON object
};
PipeExchange exchange(const QString &serverName, const QByteArray &request, int waitMs = 3000);

// The local server accepts a connection within `timeoutMs`.
bool canConnect(const QString &serverName, int timeoutMs = 300);

// A TCP port that was free a moment ago.
quint16 freeTcpPort();

struct HttpExchange {
    bool connected = false;
    int code = 0;
    QByteArray body;
    QByteArray raw;
    QJsonObject json() const;
};
HttpExchange httpRequest(quint16 port, const QByteArray &request);
HttpExchange httpGetStatus(quint16 port);

// The path of the stand-in program in the build tree.
QString standInProgram();
