#include "standin.h"

#include "config.h"

#include <appdir.h>
#include <testenv.h>

namespace {

QString program()
{
    return AppDir::buildAppDir() + QStringLiteral("/service-standin");
}

QStringList commonArguments()
{
    return {QStringLiteral("--instance-id"), instanceId(), QStringLiteral("--http-port"),
            QStringLiteral("0")};
}

} // namespace

StandIn::~StandIn()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool StandIn::start(const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program(), commonArguments() + arguments);
    if (!process.waitForStarted(5000))
        return false;
    return waitUntil([this] { return count(QStringLiteral("ready ")) > 0; }, 10000);
}

bool StandIn::send(const QString &command) const
{
    return QProcess::execute(program(), commonArguments() + QStringList{QStringLiteral("--send"), command}) ==
           0;
}

bool StandIn::waitForExit(int timeoutMs)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
}

QStringList StandIn::lines()
{
    partial += process.readAllStandardOutput();
    int end;
    while ((end = partial.indexOf('\n')) >= 0) {
        printed << QString::fromUtf8(partial.left(end));
        partial.remove(0, end + 1);
    }
    return printed;
}

int StandIn::count(const QString &fragment)
{
    int n = 0;
    for (const QString &line : lines())
        n += line.contains(fragment) ? 1 : 0;
    return n;
}
