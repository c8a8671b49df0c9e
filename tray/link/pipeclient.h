#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// The tray's single point of contact with the background service: polls its status over the
// named pipe on a worker thread, tracks the connection state and carries the user's commands.
class PipeClient : public QObject {
    Q_OBJECT

public:
    struct ProcessInfo {
        QString name;
        int port = 0;
        bool running = false;
    };

    struct Status {
        bool connected = false;
        bool mainServerRunning = false;
        bool restarting = false;
        qint64 uptime = 0;
        int httpPort = 0;
        bool autoStart = false;
        QList<ProcessInfo> processes;
    };

    // Milliseconds since the epoch; replaceable so tests can step time for the rate limits.
    using Clock = std::function<qint64()>;

    explicit PipeClient(QObject *parent = nullptr);
    ~PipeClient() override;

    void start(int pollIntervalMs);
    bool setAutoStart(bool enable);
    bool stopService();

    // The status last published; GUI thread only.
    const Status &lastStatus() const { return status; }

    // Set before start(): the clock is read from the worker thread as well.
    void setClock(Clock clock);

signals:
    void statusUpdated(PipeClient::Status st);

private slots:
    void poll();

private:
    struct PollResult;

    bool request(const QByteArray &request, QByteArray &answer, bool logFailures);
    void parseStatus(const QByteArray &answer, Status &out);
    static void runPollCycle(PipeClient *self);
    void applyPollResult(const PollResult &result);
    void deliverPendingAutoStart();
    void settleDelivery(int delivered, bool answered, int ret);
    qint64 now() const;

    friend class PipeClientTestAccess;

    QTimer pollTimer;
    Status status;
    int consecutiveFailures = 0;
    bool hasStatus = false;
    std::atomic<qint64> lastStatusWarningMs{0};
    std::thread worker;
    std::atomic<bool> pollInFlight{false};
    std::atomic<bool> stopping{false};
    std::mutex requestMutex;
    std::atomic<int> pendingAutoStart{-1};
    int pendingLogKind = 0;
    qint64 pendingLogMs = 0;
    int autoStartHoldCount = 0;
    bool autoStartHoldValue = false;
    Clock clock;
    // Creates the thread of one poll cycle; replaceable so tests can make creation fail.
    std::function<std::thread(PipeClient *)> startWorker;
    qint64 lastThreadWarningMs = 0;
};

Q_DECLARE_METATYPE(PipeClient::Status)
