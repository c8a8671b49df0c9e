#pragma once

#include "rightoperation.h"
#include "tqexport.h"

// The client's link to the product's web server.
class TQLOGIC_API LibWebCommMgr {
public:
    enum ServerStatus : int { ServerReady = 2 };

    bool isServerReachable(int timeoutMs) const;
    // ServerReady when the server can serve clients.
    int getServerStatus() const;
    void initUserParam();
    // -1 when the query failed.
    int isHaveSuperUser() const;
    bool getUserFunctionRights(TQ::RightOperation right) const;
};

TQLOGIC_API LibWebCommMgr *tqLibWebCommMgr();
