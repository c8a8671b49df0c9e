#include "logcapture.h"

#include <QMutexLocker>

#include <atomic>

namespace {

std::atomic<LogCapture *> active{nullptr};

QString levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtInfoMsg:
        return QStringLiteral("INFO");
    case QtWarningMsg:
        return QStringLiteral("WARN");
    case QtCriticalMsg:
        return QStringLiteral("CRITICAL");
    case QtFatalMsg:
        break;
    }
    return QStringLiteral("FATAL");
}

} // namespace

LogCapture::LogCapture()
{
    active = this;
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    LogCapture *capture = active.load();
    // Messages streamed as one string item arrive in quotes.
    const bool ours =
        message.startsWith(QLatin1String("PipeClient")) || message.startsWith(QLatin1String("\"PipeClient"));
    if (!capture || !ours)
        return;
    const QMutexLocker locker(&capture->mutex);
    capture->captured.append(levelName(type) + QLatin1Char(' ') + message);
}

QStringList LogCapture::lines() const
{
    const QMutexLocker locker(&mutex);
    return captured;
}

int LogCapture::count(const QString &fragment) const
{
    const QMutexLocker locker(&mutex);
    int n = 0;
    for (const QString &line : captured)
        n += line.contains(fragment) ? 1 : 0;
    return n;
}

void LogCapture::clear()
{
    const QMutexLocker locker(&mutex);
    captured.clear();
}
