#pragma once

// Sink for the log lines of the closed libraries and of the client SDK.
class ILogHandler {
public:
    enum Level : int { Debug = 0, Info = 1, Warning = 2, Error = 3 };

    // One line of UTF-8 text without a line end.
    virtual void log(Level level, const char *message) = 0;

protected:
    virtual ~ILogHandler() = default;
};
