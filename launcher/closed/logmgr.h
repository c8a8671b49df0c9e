#pragma once

#include <QString>

class ILogHandler;

// Writes the client's log lines through the handler it was given.
class LogMgr {
public:
    void logInfo(const QString &text);
    void logErr(const QString &text);
    void SetLogCallback(ILogHandler *handler);

private:
    ILogHandler *m_handler = nullptr;
};

LogMgr *tqLogMgr();
