// What the tray costs while it sits in the notification area: start-up time to its first log
// line of a shown icon, CPU per minute while it polls a healthy service, and resident memory.
// Whole-process figures from /proc, so the programs run exactly as shipped.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

const QString kBuildAppDir = QStringLiteral(ORLUNE_APPDIR);

void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::copy(source, target);
    }
}

// User plus system CPU time of a process, in milliseconds.
double cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the parenthesised command name; utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

bool waitForText(const QString &file, const QByteArray &text, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QFile log(file);
        if (log.open(QIODevice::ReadOnly) && log.readAll().contains(text))
            return true;
        QThread::msleep(5);
    }
    return false;
}

void BM_TrayIdle(benchmark::State &state)
{
    const int idleSeconds = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QTemporaryDir appDir;
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString instance = QStringLiteral("Bench") + QUuid::createUuid().toString(QUuid::Id128).left(8);
        const QString tray = appDir.filePath(QStringLiteral("Orlune_DizovuvOdiv"));
        QFile::copy(kBuildAppDir + QStringLiteral("/Orlune_DizovuvOdiv"), tray);
        QFile::setPermissions(tray, QFile::permissions(kBuildAppDir + QStringLiteral("/Orlune_DizovuvOdiv")));
        copyTree(kBuildAppDir + QStringLiteral("/Skin"), appDir.filePath(QStringLiteral("Skin")));
        copyTree(kBuildAppDir + QStringLiteral("/translation"),
                 appDir.filePath(QStringLiteral("translation")));
        {
            QSettings params(appDir.filePath(QStringLiteral("params.ini")), QSettings::IniFormat);
            params.setValue(QStringLiteral("product/instanceId"), instance);
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), runtime.filePath(QStringLiteral("data")));
        if (!env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        QProcess service;
        service.setProcessEnvironment(env);
        service.start(
            kBuildAppDir + QStringLiteral("/service-standin"),
            {QStringLiteral("--instance-id"), instance, QStringLiteral("--http-port"), QStringLiteral("0")});
        if (!service.waitForReadyRead(5000)) {
            state.SkipWithError("the stand-in service did not start");
            return;
        }

        const QString logFile = appDir.filePath(QStringLiteral("log/DizovuvOdiv.log"));
        QProcess trayProcess;
        trayProcess.setProcessEnvironment(env);
        QElapsedTimer startup;
        startup.start();
        trayProcess.start(tray, {});
        if (!waitForText(logFile, "TrayIcon shown", 10000)) {
            state.SkipWithError("the tray did not show its icon");
            return;
        }
        const double startupMs = static_cast<double>(startup.elapsed());
        // Past the first polls, the steady state is what a user pays all day.
        QThread::sleep(2);
        const qint64 pid = trayProcess.processId();
        const double cpuBefore = cpuMs(pid);
        QThread::sleep(static_cast<unsigned long>(idleSeconds));
        const double cpuAfter = cpuMs(pid);
        const double rss = residentMiB(pid);

        trayProcess.terminate();
        trayProcess.waitForFinished(5000);
        service.terminate();
        service.waitForFinished(5000);

        state.counters["startup_ms"] = startupMs;
        state.counters["cpu_ms_per_min"] = (cpuAfter - cpuBefore) * 60.0 / idleSeconds;
        state.counters["rss_MiB"] = rss;
    }
}
BENCHMARK(BM_TrayIdle)->Arg(20)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
