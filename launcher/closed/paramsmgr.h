#pragma once

#include "tqexport.h"
#include <QString>

// Installation parameters of the client, read from the product's params.ini.
class TQLOGIC_API ParamsMgr {
public:
    QString instanceId() const;
    QString serviceName() const;
    QString manufacturers() const;
    QString torvikServerIp() const;
    int webDebugPort() const;
    int torvikServerPort() const;
    int getProcessNum() const;
    int DecodeProcessPort() const;
    int getQ_OS_WINType() const;
    bool isOpenConsoleLog() const;
};

TQLOGIC_API ParamsMgr *tqParamsMgr();
