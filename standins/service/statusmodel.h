#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// One server process the service supervises, as GET_STATUS lists it.
struct ProcessEntry {
    QString type;
    QString name;
    int port = 0;
    bool running = true;

    bool operator==(const ProcessEntry &other) const
    {
        return type == other.type && name == other.name && port == other.port && running == other.running;
    }
};

// "type:name:port:running,..." (running is true or false). An empty text is an empty list.
std::optional<QList<ProcessEntry>> parseProcesses(const QString &spec, QString *error);

// One process of each of the four kinds the tray lists; the web server runs on the HTTP port.
QList<ProcessEntry> defaultProcesses(int httpPort);

// The state the stand-in answers GET_STATUS from.
class StatusModel {
public:
    explicit StatusModel(int httpPort);

    void setProcesses(const QList<ProcessEntry> &processes) { m_processes = processes; }
    const QList<ProcessEntry> &processes() const { return m_processes; }

    void setAutoStart(bool enabled) { m_autoStart = enabled; }
    bool autoStart() const { return m_autoStart; }

    // Uptime counts up in whole seconds from the value set (fractions and huge values are kept,
    // so a client's handling of them can be tried).
    void setUptime(double seconds);
    double uptime() const;

    int httpPort() const { return m_httpPort; }

    // The complete GET_STATUS answer, "ret" 0 included.
    QJsonObject statusAnswer() const;

private:
    QList<ProcessEntry> m_processes;
    bool m_autoStart = false;
    double m_uptimeBase = 0;
    QElapsedTimer m_sinceUptimeSet;
    int m_httpPort = 0;
};
