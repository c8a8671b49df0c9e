#include "logcapture.h"

#include <QMutex>

namespace {

// Guards the active capture and its lines.
QMutex captureMutex;
LogCapture *active = nullptr;

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

LogCapture::LogCapture(QString sourceName, Levels levelsShown)
    : source(std::move(sourceName)), levels(levelsShown)
{
    const QMutexLocker lock(&captureMutex);
    active = this;
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    const QMutexLocker lock(&captureMutex);
    active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QMutexLocker lock(&captureMutex);
    if (!active)
        return;
    const QString &source = active->source;
    if (!source.isEmpty() && !message.startsWith(source) &&
        !(message.startsWith(QLatin1Char('"')) && message.mid(1).startsWith(source)))
        return;
    active->captured.append(active->levels == Levels::Prefixed ? levelName(type) + QLatin1Char(' ') + message
                                                               : message);
}

QStringList LogCapture::lines() const
{
    // Element by element: a shared copy of the list would let the capturing thread append in
    // place once the reader lets go, with nothing ordering the reader's last look before it.
    const QMutexLocker lock(&captureMutex);
    QStringList copy;
    copy.reserve(captured.size());
    for (const QString &line : captured)
        copy.append(line);
    return copy;
}

QStringList LogCapture::linesStartingWith(const QString &prefix) const
{
    QStringList matching;
    for (const QString &line : lines()) {
        if (line.startsWith(prefix))
            matching.append(line);
    }
    return matching;
}

int LogCapture::count(const QString &fragment) const
{
    int n = 0;
    for (const QString &line : lines())
        n += line.contains(fragment) ? 1 : 0;
    return n;
}

int LogCapture::countExactly(const QString &line) const
{
    return static_cast<int>(lines().count(line));
}

QString LogCapture::dump() const
{
    return lines().join(QLatin1Char('\n'));
}

void LogCapture::clear()
{
    const QMutexLocker lock(&captureMutex);
    captured.clear();
}
