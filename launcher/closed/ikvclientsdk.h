#pragma once

class ILogHandler;

// The client SDK through which the client talks to the product's servers.
class IKvClientSdk {
public:
    // Texts are UTF-8. The result is 0 on success.
    virtual int Init(const char *serverIp, int serverPort, bool autoReconnect, int decodeProcessPort,
                     int processNum, int osType, const char *clientProcessId, int reserved) = 0;
    virtual void UnInit() = 0;
    virtual void SetLogHandler(ILogHandler *handler) = 0;

protected:
    virtual ~IKvClientSdk() = default;
};
