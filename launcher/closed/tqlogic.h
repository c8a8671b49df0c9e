#pragma once

#include "ikvclientsdk.h"
#include "libwebcommmgr.h"
#include "logmgr.h"
#include "paramsmgr.h"
#include "skinmgr.h"
#include "tqexport.h"

class QApplication;

// The client's core logic. init() may be called more than once.
class TQLOGIC_API TqLogic {
public:
    static TqLogic *instance();

    // False when the client cannot run. m_ClientSdk is usable after a successful call.
    bool init(QApplication *app);

    static IKvClientSdk *m_ClientSdk;

private:
    TqLogic() = default;
    int m_initCalls = 0;
    bool m_translationInstalled = false;
};
