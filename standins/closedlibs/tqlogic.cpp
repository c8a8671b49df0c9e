#include "tqlogic.h"

#include "clientsdk.h"
#include "standinhooks.h"

#include <QApplication>
#include <QDateTime>
#include <QThread>
#include <QTranslator>

#include <installation/files.h>

IKvClientSdk *TqLogic::m_ClientSdk = nullptr;

TqLogic *TqLogic::instance()
{
    static TqLogic logic;
    return &logic;
}

bool TqLogic::init(QApplication *app)
{
    ++m_initCalls;
    // The web views' environment must be in place whenever the logic starts.
    standin::trace(QStringLiteral("TqLogic init call=%1 sandbox=%2 flags=%3 remoteDebugging=%4")
                       .arg(m_initCalls)
                       .arg(standin::quoted(qEnvironmentVariable("QTWEBENGINE_DISABLE_SANDBOX")),
                            standin::quoted(qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")),
                            standin::quoted(qEnvironmentVariable("QTWEBENGINE_REMOTE_DEBUGGING"))));
    if (!app || standin::hookNumber("ORLUNE_STANDIN_INIT_FAIL", 0) == m_initCalls)
        return false;

    if (!m_translationInstalled) {
        // The client's texts follow the product language, like the tray's.
        auto *translator = new QTranslator(app);
        if (translator->load(installation::translationFilePath(installation::currentLanCode())))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
        m_translationInstalled = true;
    }
    static ClientSdk sdk;
    m_ClientSdk = &sdk;

    const qint64 returnAt = standin::hookText("ORLUNE_STANDIN_INIT_AT").toLongLong();
    const qint64 waitMs = returnAt - QDateTime::currentMSecsSinceEpoch();
    if (m_initCalls == 1 && waitMs > 0)
        QThread::msleep(static_cast<unsigned long>(waitMs));
    return true;
}
