#include "clientsdk.h"

#include "iloghandler.h"
#include "standinhooks.h"

int ClientSdk::Init(const char *serverIp, int serverPort, bool autoReconnect, int decodeProcessPort,
                    int processNum, int osType, const char *clientProcessId, int reserved)
{
    m_server = QString::fromUtf8(serverIp) + QLatin1Char(':') + QString::number(serverPort);
    m_initialised = true;
    const QString line =
        QStringLiteral("ClientSdk Init server=%1 autoReconnect=%2 decodePort=%3 processNum=%4 "
                       "osType=%5 clientPid=%6 reserved=%7")
            .arg(m_server, autoReconnect ? QStringLiteral("true") : QStringLiteral("false"))
            .arg(decodeProcessPort)
            .arg(processNum)
            .arg(osType)
            .arg(QString::fromUtf8(clientProcessId))
            .arg(reserved);
    standin::trace(line);
    log(line);
    return 0;
}

void ClientSdk::UnInit()
{
    m_initialised = false;
    m_server.clear();
}

void ClientSdk::SetLogHandler(ILogHandler *handler)
{
    m_handler = handler;
    log(QStringLiteral("ClientSdk log handler attached"));
}

void ClientSdk::log(const QString &text)
{
    if (m_handler)
        m_handler->log(ILogHandler::Info, text.toUtf8().constData());
}
