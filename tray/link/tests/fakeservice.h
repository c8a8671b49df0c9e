#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <thread>

// A scripted peer on the service's pipe, serving on its own thread so a test can make blocking
// exchanges from the GUI thread. Each connection takes the next queued reply, or the default.
class FakeService {
public:
    struct Reply {
        enum class Kind {
            Answer,      // read the request line, wait delayMs, write bytes, close
            Close,       // read the request line, close without answering
            Silent,      // read the request line, keep the connection open without answering
            CloseAtOnce, // close right after accepting, before reading anything
        };
        Kind kind = Kind::Answer;
        QByteArray bytes;
        int delayMs = 0;
    };
    static Reply answer(const QByteArray &bytes, int delayMs = 0)
    {
        return {Reply::Kind::Answer, bytes, delayMs};
    }
    static Reply close() { return {Reply::Kind::Close, {}, 0}; }
    static Reply silent() { return {Reply::Kind::Silent, {}, 0}; }
    static Reply closeAtOnce() { return {Reply::Kind::CloseAtOnce, {}, 0}; }

    // Serves the pipe that pipePath() names in this process's runtime directory.
    explicit FakeService(const Reply &defaultReply);
    ~FakeService();
    FakeService(const FakeService &) = delete;
    FakeService &operator=(const FakeService &) = delete;

    bool listening() const { return ready.load() == 1; }
    void queue(const Reply &reply);
    void setDefault(const Reply &reply);

    // Everything each connection sent, in connection order.
    QList<QByteArray> requests() const;
    int connections() const { return accepted.load(); }
    // Connections fully handled (answered or closed).
    int finished() const { return done.load(); }

private:
    void serve(const QString &serverName);
    Reply nextReply();

    mutable QMutex mutex;
    QList<Reply> script;
    Reply fallback;
    QList<QByteArray> received;
    std::atomic<int> ready{0}; // 0 starting, 1 listening, -1 failed
    std::atomic<bool> stop{false};
    std::atomic<int> accepted{0};
    std::atomic<int> done{0};
    std::thread thread;
};
