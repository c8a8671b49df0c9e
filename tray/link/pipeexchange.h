#pragma once

#include <platform/pipe.h>

#include <QByteArray>

#include <functional>
#include <string>

// One request/answer exchange with the service over its pipe: the connection attempts, the
// single write and the single bounded read, and the log lines of their failures.

constexpr int kPipeConnectAttempts = 6;
constexpr unsigned kPipeAttemptWaitMs = 600;
// A service that accepts and never answers costs this much, not a hang of the tray.
constexpr unsigned kPipeReadTimeoutMs = 3000;
// One read of at most this many bytes; a longer answer arrives cut short.
constexpr int kPipeMaxAnswerBytes = 4095;

// The OS calls the exchange makes between attempts; tests replace them to watch the sequence.
struct PipeOps {
    std::function<bool(const std::string &path, unsigned timeoutMs, platform::ErrorCode &error)> waitForPipe;
    std::function<platform::PipeConnection(const std::string &path)> open;
    std::function<void(unsigned ms)> sleepMs;
};

const PipeOps &systemPipeOps();

// True when at least one answer byte was read; `answer` then holds exactly the bytes read.
// With `logFailures` false nothing is logged.
bool exchangeOverPipe(const std::string &pipePath, const QByteArray &request, QByteArray &answer,
                      bool logFailures, const PipeOps &ops);
