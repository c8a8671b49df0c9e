#include "pipeprotocol.h"

#include <cstdint>
#include <cstdlib>

// Feeds arbitrary service answers to the decoder and checks what every decode must satisfy.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray answer =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    PipeClient::Status status;
    status.uptime = 17;
    status.httpPort = 23;
    status.processes.append({QStringLiteral("before"), 1, true});
    const StatusDecode decoded = decodeStatus(answer, status);
    const int ret = answerRet(answer);

    switch (decoded.outcome) {
    case StatusDecode::Outcome::Connected:
        if (!status.connected || ret != 0)
            std::abort();
        for (qsizetype i = 1; i < status.processes.size(); ++i)
            if (status.processes[i].name.isEmpty())
                std::abort();
        if (!status.mainServerRunning && !status.restarting)
            std::abort();
        break;
    case StatusDecode::Outcome::Rejected:
        // A refusal leaves everything but `connected` as the caller had it.
        if (status.connected || decoded.ret == 0 || ret != decoded.ret || status.uptime != 17 ||
            status.httpPort != 23 || status.processes.size() != 1)
            std::abort();
        break;
    case StatusDecode::Outcome::InvalidJson:
        if (status.connected || ret != -1 || status.uptime != 17 || decoded.parseError.isEmpty())
            std::abort();
        break;
    }
    return 0;
}
