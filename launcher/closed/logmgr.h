#pragma once

#include "tqexport.h"
#include <QString>

class ILogHandler;

// Writes the client's log lines through the handler it was given.
class TQLOGIC_API LogMgr {
public:
    void logInfo(const QString &text);
    void logErr(const QString &text);
    void SetLogCallback(ILogHandler *handler);

private:
    ILogHandler *m_handler = nullptr;
};

TQLOGIC_API LogMgr *tqLogMgr();
