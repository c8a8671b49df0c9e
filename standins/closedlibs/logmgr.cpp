#include "logmgr.h"

#include "iloghandler.h"

#include <QDebug>

namespace {

void write(ILogHandler *handler, ILogHandler::Level level, const QString &text)
{
    if (handler) {
        handler->log(level, text.toUtf8().constData());
        return;
    }
    // Lines written before a log exists are not lost: they go to the debug output.
    qDebug().noquote() << text;
}

} // namespace

void LogMgr::logInfo(const QString &text)
{
    write(m_handler, ILogHandler::Info, text);
}

void LogMgr::logErr(const QString &text)
{
    write(m_handler, ILogHandler::Error, text);
}

void LogMgr::SetLogCallback(ILogHandler *handler)
{
    m_handler = handler;
}

LogMgr *tqLogMgr()
{
    static LogMgr log;
    return &log;
}
