#pragma once

#include "ikvclientsdk.h"

#include <QString>

// The client SDK stand-in: remembers what it was initialised with and reports it in its log.
class ClientSdk final : public IKvClientSdk {
public:
    int Init(const char *serverIp, int serverPort, bool autoReconnect, int decodeProcessPort, int processNum,
             int osType, const char *clientProcessId, int reserved) override;
    void UnInit() override;
    void SetLogHandler(ILogHandler *handler) override;

    bool initialised() const { return m_initialised; }
    QString server() const { return m_server; }

private:
    void log(const QString &text);

    ILogHandler *m_handler = nullptr;
    bool m_initialised = false;
    QString m_server;
};
