#include "tqlogic.h"

#include "clientsdk.h"
#include "config.h"
#include "standinhooks.h"

#include <QApplication>
#include <QTranslator>

IKvClientSdk *TqLogic::m_ClientSdk = nullptr;

TqLogic *TqLogic::instance()
{
    static TqLogic logic;
    return &logic;
}

bool TqLogic::init(QApplication *app)
{
    ++m_initCalls;
    standin::trace(QStringLiteral("TqLogic init call=%1").arg(m_initCalls));
    if (!app || standin::hookNumber("ORLUNE_STANDIN_INIT_FAIL", 0) == m_initCalls)
        return false;

    if (!m_translationInstalled) {
        // The client's texts follow the product language, like the tray's.
        auto *translator = new QTranslator(app);
        if (translator->load(translationFilePath(currentLanCode())))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
        m_translationInstalled = true;
    }
    static ClientSdk sdk;
    m_ClientSdk = &sdk;
    return true;
}
