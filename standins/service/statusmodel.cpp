#include "statusmodel.h"

#include "values.h"

#include <QJsonArray>

#include <climits>

std::optional<QList<ProcessEntry>> parseProcesses(const QString &spec, QString *error)
{
    QList<ProcessEntry> processes;
    if (spec.trimmed().isEmpty())
        return processes;
    for (const QString &item : spec.split(QLatin1Char(','))) {
        const QStringList fields = item.split(QLatin1Char(':'));
        const std::optional<int> port =
            fields.size() == 4 ? parseInt(fields[2], INT_MIN, INT_MAX) : std::nullopt;
        const std::optional<bool> running = fields.size() == 4 ? parseBool(fields[3]) : std::nullopt;
        if (!port || !running) {
            *error = QStringLiteral("process \"%1\" is not type:name:port:running").arg(item);
            return std::nullopt;
        }
        processes.append({fields[0], fields[1], *port, *running});
    }
    return processes;
}

QList<ProcessEntry> defaultProcesses(int httpPort)
{
    return {
        {QStringLiteral("mainServer"), QStringLiteral("Server"), 9010, true},
        {QStringLiteral("database"), QStringLiteral("dbserver"), 9020, true},
        {QStringLiteral("webServer"), QStringLiteral("v7iZodore"), httpPort, true},
        {QStringLiteral("redis"), QStringLiteral("redis-server"), 6379, true},
    };
}

StatusModel::StatusModel(int httpPort) : m_processes(defaultProcesses(httpPort)), m_httpPort(httpPort)
{
    m_sinceUptimeSet.start();
}

void StatusModel::setUptime(double seconds)
{
    m_uptimeBase = seconds;
    m_sinceUptimeSet.restart();
}

double StatusModel::uptime() const
{
    // Counts up in whole seconds, as a service reports its uptime.
    const qint64 wholeSeconds = m_sinceUptimeSet.elapsed() / 1000;
    return m_uptimeBase + static_cast<double>(wholeSeconds);
}

QJsonObject StatusModel::statusAnswer() const
{
    QJsonArray processes;
    for (const ProcessEntry &process : m_processes) {
        processes.append(QJsonObject{{QStringLiteral("type"), process.type},
                                     {QStringLiteral("name"), process.name},
                                     {QStringLiteral("port"), process.port},
                                     {QStringLiteral("running"), process.running}});
    }
    return QJsonObject{{QStringLiteral("ret"), 0},
                       {QStringLiteral("uptime"), uptime()},
                       {QStringLiteral("httpPort"), m_httpPort},
                       {QStringLiteral("autoStart"), m_autoStart},
                       {QStringLiteral("processes"), processes}};
}
