#include "servicecontrol.h"

#include "platform/servicecommands.h"

#include <QProcess>
#include <QStringList>

namespace {

constexpr int kCommandWaitMs = 30000;

// Runs the command for at most kCommandWaitMs and returns what it printed; a command still
// running then is killed.
QByteArray runCommand(const platform::Command &command)
{
    QStringList arguments;
    for (const std::string &argument : command.arguments)
        arguments << QString::fromStdString(argument);
    QProcess process;
    process.start(QString::fromStdString(command.program), arguments, QIODevice::ReadWrite);
    process.waitForFinished(kCommandWaitMs);
    QByteArray output = process.readAllStandardOutput();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    return output;
}

} // namespace

bool isServiceRunning(const QString &serviceName)
{
    const std::string name = serviceName.toStdString();
    const QByteArray output = runCommand(platform::serviceQueryCommand(name));
    return platform::serviceQueryOutputMeansRunning(QString::fromLocal8Bit(output).toStdString(), name);
}

void startService(const QString &serviceName)
{
    runCommand(platform::serviceStartCommand(serviceName.toStdString()));
}
