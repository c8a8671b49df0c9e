#pragma once

#include <QString>

// Installation parameters of the client, read from the product's params.ini.
class ParamsMgr {
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

ParamsMgr *tqParamsMgr();
