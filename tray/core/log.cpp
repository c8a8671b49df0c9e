#include "log.h"

#include "config.h"

#include <installation/files.h>
#include <installation/names.h>

#include <platform/ids.h>
#include <platform/logfile.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <string>
#include <utility>

namespace {

constexpr qint64 kRotateSize = qint64{4} * 1024 * 1024;

// Written line by line with one write each, past any buffer: a line the disk had no room for is
// lost alone, and the next goes in whole once there is room again.
std::FILE *logFile = nullptr;
QBasicMutex logMutex;
// Written on the main thread only, read by the handler on any thread.
std::atomic<QtMessageHandler> previousHandler{nullptr};

// One folder name per installation identifier: separators, drive colons and the dot names are
// encoded so that no identifier leads out of the data folder.
QString folderName(const QString &id)
{
    if (id == QLatin1String(".") || id == QLatin1String(".."))
        return QString(id).replace(QLatin1Char('.'), QLatin1String("%2E"));
    QString name;
    name.reserve(id.size());
    for (const QChar c : id) {
        if (c == QLatin1Char('/'))
            name += QLatin1String("%2F");
        else if (c == QLatin1Char('\\'))
            name += QLatin1String("%5C");
        else if (c == QLatin1Char(':'))
            name += QLatin1String("%3A");
        else
            name += c;
    }
    return name;
}

bool isInside(const QString &path, const QString &base)
{
    const QString cleanBase = QDir::cleanPath(base);
    return !cleanBase.isEmpty() && QDir::cleanPath(path).startsWith(cleanBase + QLatin1Char('/'));
}

QStringList candidateDirectories()
{
    QStringList dirs{installation::logDirectory()};
    const QString local = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    // The organisation name is the product name from params.ini; a name that climbs out of
    // the user's data folder does not get a log there.
    if (!local.isEmpty() &&
        isInside(local, QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)))
        dirs << QDir(local).filePath(folderName(instanceId()));
    return dirs;
}

QString levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtWarningMsg:
        return QStringLiteral("WARN");
    case QtCriticalMsg:
        return QStringLiteral("CRITICAL");
    case QtFatalMsg:
        return QStringLiteral("FATAL");
    case QtInfoMsg:
        return QStringLiteral("INFO");
    }
    return QStringLiteral("UNKNOWN");
}

} // namespace

QString setupLog(LogRotation rotation)
{
    QStringList pending;
    for (const QString &directory : candidateDirectories()) {
        // The OS layer takes UTF-8 names.
        const std::string nativeDirectory = QDir::toNativeSeparators(directory).toStdString();
        platform::ErrorCode error = 0;
        if (!platform::makeLogDirectory(nativeDirectory, error)) {
            pending << QStringLiteral("Unable to create log directory: %1").arg(directory);
            continue;
        }
        // Others could plant a link or a file of theirs here for us to write into.
        if (!platform::isSafeLogDirectory(nativeDirectory)) {
            pending << QStringLiteral("Unable to use log directory writable by others: %1").arg(directory);
            continue;
        }
        QString path = QDir(directory).filePath(installation::trayLogFileName());
        if (rotation == LogRotation::Allowed && QFileInfo(path).size() >= kRotateSize) {
            QFile::remove(path + QStringLiteral(".1"));
            QFile::rename(path, path + QStringLiteral(".1"));
        }
        std::FILE *file = platform::openLogFile(QDir::toNativeSeparators(path).toStdString(), error);
        if (file == nullptr) {
            pending << QStringLiteral("Unable to open log file: %1, error=%2")
                           .arg(path, QString::fromStdString(platform::errorText(error)));
            continue;
        }
        {
            const QMutexLocker locker(&logMutex);
            if (logFile != nullptr)
                std::fclose(logFile);
            logFile = file;
        }
        // A second call must not chain the handler to itself.
        const QtMessageHandler old = qInstallMessageHandler(logMessageHandler);
        if (old != logMessageHandler)
            previousHandler = old;
        for (const QString &message : std::as_const(pending))
            qWarning().noquote() << message;
        return path;
    }
    return QString();
}

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QByteArray text = message.toUtf8();
    text.replace('\r', ' ').replace('\n', ' ');
    // Filled one placeholder at a time, the message last, so its own "%1" stays literal. The OS
    // layer ends the line as the system does.
    const QByteArray line =
        QStringLiteral("%1 [%2] PID=%3 TID=%4 %5")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")))
            .arg(levelName(type))
            .arg(platform::currentProcessId())
            .arg(platform::currentThreadId())
            .arg(QString::fromUtf8(text))
            .toUtf8();
    {
        const QMutexLocker locker(&logMutex);
        // A line that could not be written is lost alone; the next one tries afresh.
        platform::ErrorCode error = 0;
        if (logFile != nullptr)
            platform::appendLine(logFile, line.toStdString(), error);
    }
    if (const QtMessageHandler previous = previousHandler.load())
        previous(type, context, message);
}

void shutdownLog()
{
    qInstallMessageHandler(previousHandler.load());
    const QMutexLocker locker(&logMutex);
    // Nothing is buffered: every line went to the system as it was written.
    if (logFile != nullptr) {
        std::fclose(logFile);
        logFile = nullptr;
    }
}
