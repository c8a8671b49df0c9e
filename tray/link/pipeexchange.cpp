#include "pipeexchange.h"

#include <QDebug>

#include <chrono>
#include <thread>

namespace {

constexpr std::size_t kReadBufferSize = kPipeMaxAnswerBytes + 1;

bool talk(platform::PipeConnection &connection, const QByteArray &request, QByteArray &answer,
          bool logFailures)
{
    QByteArray line = request;
    if (!line.endsWith('\n'))
        line.append('\n');
    platform::ErrorCode writeError = 0;
    if (!connection.write(line.constData(), static_cast<std::size_t>(line.size()), writeError)) {
        if (logFailures)
            qWarning() << "PipeClient request: WriteFile failed, request=" << request
                       << "error=" << writeError;
        return false;
    }

    answer.clear();
    char buffer[kReadBufferSize] = {};
    const platform::PipeConnection::ReadResult read =
        connection.read(buffer, kPipeMaxAnswerBytes, kPipeReadTimeoutMs);
    if (read.ok && read.bytes > 0) {
        answer.append(buffer, static_cast<qsizetype>(read.bytes));
        return true;
    }
    if (logFailures) {
        if (read.timedOut)
            qWarning() << "PipeClient request: ReadFile timed out, request=" << request
                       << "timeoutMs=" << kPipeReadTimeoutMs << "error=" << read.error;
        else
            qWarning() << "PipeClient request: ReadFile failed/empty, request=" << request
                       << "readOk=" << (read.ok ? 1 : 0) << "read=" << read.bytes << "error=" << read.error;
    }
    return false;
}

} // namespace

const PipeOps &systemPipeOps()
{
    static const PipeOps ops{[](const std::string &path, unsigned timeoutMs, platform::ErrorCode &error) {
                                 return platform::waitForPipe(path, timeoutMs, error);
                             },
                             [](const std::string &path) { return platform::PipeConnection::open(path); },
                             [](unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }};
    return ops;
}

bool exchangeOverPipe(const std::string &pipePath, const QByteArray &request, QByteArray &answer,
                      bool logFailures, const PipeOps &ops)
{
    platform::ErrorCode lastError = 0;
    for (int attempt = 1; attempt <= kPipeConnectAttempts; ++attempt) {
        // The first attempt goes straight to the open: an idle service answers at once.
        if (attempt > 1) {
            platform::ErrorCode waitError = 0;
            if (!ops.waitForPipe(pipePath, kPipeAttemptWaitMs, waitError)) {
                lastError = waitError;
                ops.sleepMs(kPipeAttemptWaitMs);
                continue;
            }
        }
        platform::PipeConnection connection = ops.open(pipePath);
        if (!connection.valid()) {
            lastError = connection.error();
            continue;
        }
        // A failed write or read is not retried: the service may already have acted on it.
        return talk(connection, request, answer, logFailures);
    }
    if (logFailures)
        qWarning() << "PipeClient request: pipe unavailable after attempts=" << kPipeConnectAttempts
                   << "request=" << request << "error=" << lastError;
    return false;
}
