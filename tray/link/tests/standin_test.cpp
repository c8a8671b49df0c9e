#include "linktestenv.h"
#include "pipeclienttestaccess.h"

#include <logcapture.h>
#include <standinservice.h>
#include <testenv.h>

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const QString kOffline =
    QStringLiteral("WARN PipeClient connection state: offline after 3 confirmed failures");
const QString kRecovered = QStringLiteral("INFO PipeClient connection state: recovered");
// An absent service costs 3 s per exchange, a confirmed failure 6 s: room for both plus load.
constexpr int kCycleWaitMs = 15000;

class PipeClientStandIn : public ::testing::Test {
protected:
    PipeClientStandIn()
    {
        service.setHttpPort(0); // the pipe is all these tests need
        client.setClock([this] { return clockMs.load(); });
        QObject::connect(&client, &PipeClient::statusUpdated,
                         [this](const PipeClient::Status &st) { records.push_back(st); });
    }

    bool waitForRecords(std::size_t n, int timeoutMs = kCycleWaitMs)
    {
        return waitUntil([&] { return records.size() >= n; }, timeoutMs);
    }
    bool waitForRecord(const std::function<bool(const PipeClient::Status &)> &matches)
    {
        const std::size_t from = records.size();
        return waitUntil(
            [&] {
                for (std::size_t i = from; i < records.size(); ++i)
                    if (matches(records[i]))
                        return true;
                return false;
            },
            kCycleWaitMs);
    }
    QStringList connectionLines() const { return log.lines().filter(QStringLiteral("connection state")); }

    LinkTestEnvironment environment;
    LogCapture log{QStringLiteral("PipeClient"), LogCapture::Levels::Prefixed};
    StandInService service{instanceId()};
    std::atomic<qint64> clockMs{1700000000000};
    std::vector<PipeClient::Status> records;
    PipeClient client;
};

bool isConnected(const PipeClient::Status &s)
{
    return s.connected;
}

} // namespace

TEST_F(PipeClientStandIn, AbsentFromStartGoesOfflineOnceThenRecovers)
{
    client.start(100);
    ASSERT_TRUE(waitForRecords(2));
    // Two failed cycles republish the default record and say nothing.
    for (const PipeClient::Status &s : records) {
        EXPECT_FALSE(s.connected);
        EXPECT_TRUE(s.processes.isEmpty());
    }
    EXPECT_EQ(log.lines().size(), 1) << "status exchanges log no failures; only the start line";

    ASSERT_TRUE(waitForRecords(3));
    EXPECT_EQ(connectionLines(), QStringList({kOffline}));
    EXPECT_FALSE(records[2].connected);

    ASSERT_TRUE(waitForRecords(4));
    EXPECT_EQ(connectionLines(), QStringList({kOffline})) << "later failed cycles stay silent";

    ASSERT_TRUE(service.start());
    ASSERT_TRUE(waitForRecord(isConnected));
    EXPECT_EQ(connectionLines(), QStringList({kOffline, kRecovered}));
    EXPECT_EQ(records.back().processes.size(), 4);
}

TEST_F(PipeClientStandIn, ConnectedServiceRefusesThenGoesAwayAndComesBack)
{
    // One process down, so the record says restarting until it goes offline.
    ASSERT_TRUE(service.start({"--uptime", "100", "--autostart", "true", "--processes",
                               "mainServer:Server:9010:true,redis:redis-server:6379:false"}));
    client.start(100);
    ASSERT_TRUE(waitForRecord(isConnected));

    // A refusal publishes the default record without a connection-state line.
    ASSERT_EQ(service.send(QStringLiteral("fault GET_STATUS refuse:7")), 0);
    ASSERT_TRUE(waitForRecord([](const PipeClient::Status &s) { return !s.connected; }));
    EXPECT_TRUE(records.back().processes.isEmpty());
    EXPECT_EQ(records.back().uptime, 0);
    EXPECT_TRUE(connectionLines().isEmpty());
    EXPECT_EQ(log.count(QStringLiteral("WARN PipeClient GET_STATUS rejected, ret= 7")), 1);

    ASSERT_EQ(service.send(QStringLiteral("fault GET_STATUS none")), 0);
    ASSERT_TRUE(waitForRecord(isConnected));
    EXPECT_EQ(connectionLines(), QStringList({kRecovered}));

    ASSERT_EQ(service.send(QStringLiteral("down")), 0);
    ASSERT_TRUE(waitUntil([&] { return log.count(kOffline) > 0; }, 3 * kCycleWaitMs));
    // Two failed cycles republish the last connected record; the third publishes it offline.
    const std::size_t n = records.size();
    ASSERT_GE(n, 4u);
    const PipeClient::Status known = records[n - 4];
    EXPECT_TRUE(known.connected);
    EXPECT_TRUE(known.restarting);
    EXPECT_EQ(known.processes.size(), 2);
    for (std::size_t i = n - 3; i < n - 1; ++i) {
        EXPECT_TRUE(records[i].connected);
        EXPECT_EQ(records[i].uptime, known.uptime);
    }
    const PipeClient::Status offline = records.back();
    EXPECT_FALSE(offline.connected);
    EXPECT_FALSE(offline.restarting);
    EXPECT_EQ(offline.uptime, known.uptime);
    EXPECT_GE(offline.uptime, 100);
    EXPECT_EQ(offline.httpPort, known.httpPort);
    EXPECT_TRUE(offline.autoStart);
    EXPECT_EQ(offline.mainServerRunning, known.mainServerRunning);
    ASSERT_EQ(offline.processes.size(), known.processes.size());
    for (qsizetype i = 0; i < offline.processes.size(); ++i) {
        EXPECT_EQ(offline.processes[i].name, known.processes[i].name);
        EXPECT_EQ(offline.processes[i].port, known.processes[i].port);
        EXPECT_FALSE(offline.processes[i].running);
    }

    ASSERT_EQ(service.send(QStringLiteral("up")), 0);
    ASSERT_TRUE(waitForRecord(isConnected));
    ASSERT_TRUE(waitForRecords(records.size() + 1));
    EXPECT_EQ(connectionLines(), QStringList({kRecovered, kOffline, kRecovered}));
}

TEST_F(PipeClientStandIn, SwitchWhileAbsentIsShownAtOnceAndDeliveredLater)
{
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(client.setAutoStart(true));
    EXPECT_GE(timer.elapsed(), 2900) << "the exchange tries for about 3 s";
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].autoStart);
    EXPECT_EQ(
        log.lines(),
        QStringList({QStringLiteral(R"(WARN PipeClient request: pipe unavailable after attempts= 6 request= )"
                                    R"("{\"cmd\":\"SET_AUTOSTART\",\"enable\":true}" error= 2)"),
                     QStringLiteral(R"(WARN "PipeClient SET_AUTOSTART requested enable=1 )"
                                    R"(result=not-confirmed ret=-1; queued for retry")")}));

    ASSERT_TRUE(service.start({"--autostart", "false"}));
    client.start(100);
    ASSERT_TRUE(waitUntil([&] { return log.count(QStringLiteral("delivered")) > 0; }, kCycleWaitMs));
    EXPECT_EQ(
        log.count(QStringLiteral(R"(INFO "PipeClient poll: pending SET_AUTOSTART(enable=1) delivered")")), 1);
    // From here on the service itself reports the switch.
    ASSERT_TRUE(waitForRecords(records.size() + 4));
    for (const PipeClient::Status &s : records)
        EXPECT_TRUE(s.autoStart);
    EXPECT_EQ(service.count(QStringLiteral("request SET_AUTOSTART")), 1);
    EXPECT_TRUE(connectionLines().isEmpty()) << "a switch before the first cycle is no recovery";
}

TEST_F(PipeClientStandIn, LastOfTwoUnconfirmedSwitchesWins)
{
    EXPECT_FALSE(client.setAutoStart(true));
    EXPECT_FALSE(client.setAutoStart(false));
    ASSERT_TRUE(service.start({"--autostart", "true"}));
    client.start(100);
    ASSERT_TRUE(waitUntil([&] { return log.count(QStringLiteral("delivered")) > 0; }, kCycleWaitMs));
    // Past the hold, the records come from the service: it must have received false.
    ASSERT_TRUE(waitForRecords(records.size() + 5));
    EXPECT_TRUE(records[0].autoStart);
    for (std::size_t i = 1; i < records.size(); ++i)
        EXPECT_FALSE(records[i].autoStart) << "record " << i;
    EXPECT_EQ(log.count(QStringLiteral("SET_AUTOSTART(enable=0) delivered")), 1);
    EXPECT_EQ(log.count(QStringLiteral("SET_AUTOSTART(enable=1) delivered")), 0);
    EXPECT_EQ(service.count(QStringLiteral("request SET_AUTOSTART")), 1);
}

TEST_F(PipeClientStandIn, ConfirmedSwitchIsHeldForThreeRecords)
{
    ASSERT_TRUE(service.start({"--autostart", "false"}));
    EXPECT_TRUE(client.setAutoStart(true));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].autoStart);
    // The service falls back to false, as if its own value lagged behind.
    ASSERT_EQ(service.send(QStringLiteral("autostart false")), 0);
    client.start(100);
    ASSERT_TRUE(waitForRecords(6));
    EXPECT_TRUE(records[1].autoStart);
    EXPECT_TRUE(records[2].autoStart);
    EXPECT_TRUE(records[3].autoStart);
    EXPECT_FALSE(records[4].autoStart);
    EXPECT_FALSE(records[5].autoStart);
    EXPECT_TRUE(records[4].connected);
}

TEST_F(PipeClientStandIn, StopServiceSucceedsIsRefusedOrFindsNoService)
{
    ASSERT_TRUE(service.start({"--fault", "STOP_SERVICE=refuse:5"}));
    EXPECT_FALSE(client.stopService());
    ASSERT_EQ(service.send(QStringLiteral("fault STOP_SERVICE malformed")), 0);
    EXPECT_FALSE(client.stopService());
    EXPECT_TRUE(service.waitForExit(5000)) << "a malformed answer still carries the stop out";
    ASSERT_TRUE(service.start());
    EXPECT_TRUE(client.stopService());
    EXPECT_TRUE(service.waitForExit(5000));
    EXPECT_FALSE(client.stopService());
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(log.lines(),
              QStringList({QStringLiteral("WARN PipeClient STOP_SERVICE result=rejected ret= 5"),
                           QStringLiteral("WARN PipeClient STOP_SERVICE result=rejected ret= -1"),
                           QStringLiteral("INFO PipeClient STOP_SERVICE result=success ret= 0"),
                           QStringLiteral(R"(WARN PipeClient request: pipe unavailable after attempts= 6 )"
                                          R"(request= "{\"cmd\":\"STOP_SERVICE\"}" error= 2)"),
                           QStringLiteral("WARN PipeClient STOP_SERVICE result=unreachable")}));
}

TEST_F(PipeClientStandIn, AnswerFaultsReadAsRefusalOrInvalidJson)
{
    ASSERT_TRUE(service.start());
    const auto getStatus = [&](const QString &mode, QByteArray &answer) {
        EXPECT_EQ(service.send(QStringLiteral("fault GET_STATUS ") + mode), 0);
        answer.clear();
        const bool ok = PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true);
        PipeClient::Status s;
        PipeClientTestAccess::parseStatus(client, answer, s);
        clockMs += 60000;
        return ok && s.connected;
    };
    QByteArray answer;
    EXPECT_FALSE(getStatus(QStringLiteral("refuse"), answer));
    EXPECT_EQ(answer, QByteArray(R"({"ret":1})"));
    EXPECT_FALSE(getStatus(QStringLiteral("malformed"), answer));
    EXPECT_FALSE(answer.isEmpty());
    EXPECT_FALSE(getStatus(QStringLiteral("oversize"), answer));
    EXPECT_EQ(answer.size(), 4095);
    EXPECT_FALSE(getStatus(QStringLiteral("split:200"), answer));
    EXPECT_FALSE(answer.isEmpty());
    EXPECT_TRUE(getStatus(QStringLiteral("slow:500"), answer)) << "a slow answer within the bound counts";
    EXPECT_TRUE(getStatus(QStringLiteral("none"), answer));

    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("WARN PipeClient GET_STATUS rejected, ret= 1"));
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("WARN PipeClient GET_STATUS invalid JSON, error= \"")))
            << lines[i].toStdString();
}

TEST_F(PipeClientStandIn, TransportFaultsFailTheExchange)
{
    ASSERT_TRUE(service.start({"--fault", "GET_STATUS=close"}));
    QByteArray answer;
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true));
    ASSERT_EQ(service.send(QStringLiteral("fault GET_STATUS silent")), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true));
    EXPECT_GE(timer.elapsed(), 2900);
    ASSERT_EQ(service.send(QStringLiteral("fault all busy")), 0);
    EXPECT_FALSE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true));
    ASSERT_EQ(service.send(QStringLiteral("fault all none")), 0);
    EXPECT_TRUE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", answer, true));

    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
#ifdef _WIN32
    // A server that closes without answering fails the read on Windows, with the error of how
    // it closed (233 from the stand-in's Qt end, 109 from a plain close).
    EXPECT_TRUE(
        lines[0].startsWith(QStringLiteral(R"(WARN PipeClient request: ReadFile failed/empty, request= )"
                                           R"("{\"cmd\":\"GET_STATUS\"}" readOk= 0 read= 0 error= )")))
        << lines[0].toStdString();
    EXPECT_FALSE(lines[0].endsWith(QStringLiteral("error= 0")));
#else
    EXPECT_EQ(lines[0], QStringLiteral(R"(WARN PipeClient request: ReadFile failed/empty, request= )"
                                       R"("{\"cmd\":\"GET_STATUS\"}" readOk= 1 read= 0 error= 0)"));
#endif
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral(
        R"(WARN PipeClient request: ReadFile timed out, request= "{\"cmd\":\"GET_STATUS\"}" timeoutMs= 3000 error= )")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral(
        R"(WARN PipeClient request: pipe unavailable after attempts= 6 request= "{\"cmd\":\"GET_STATUS\"}" error= )")));
    EXPECT_FALSE(lines[2].endsWith(QStringLiteral("error= 0")));
}

TEST_F(PipeClientStandIn, DestructionWhileACycleWaitsEndsItQuietly)
{
    ASSERT_TRUE(service.start({"--fault", "GET_STATUS=silent"}));
    int emitted = 0;
    auto waiting = std::make_unique<PipeClient>();
    QObject::connect(waiting.get(), &PipeClient::statusUpdated, [&emitted] { ++emitted; });
    waiting->start(100);
    ASSERT_TRUE(waitUntil([&] { return service.count(QStringLiteral("request GET_STATUS")) > 0; }, 5000));
    QElapsedTimer timer;
    timer.start();
    waiting.reset();
    // The destructor joined the cycle, which ended with the bounded read.
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_LT(timer.elapsed(), 10000);
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(emitted, 0);
}
