#include "config.h"
#include "linktestenv.h"
#include "pipeclienttestaccess.h"

#include <logcapture.h>
#include <standinservice.h>
#include <testenv.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr qint64 kMinute = 60000;

class PipeClientUnit : public ::testing::Test {
protected:
    PipeClientUnit()
    {
        service.setHttpPort(0);
        client.setClock([this] { return clockMs.load(); });
        QObject::connect(&client, &PipeClient::statusUpdated,
                         [this](const PipeClient::Status &st) { records.push_back(st); });
    }

    // Runs one poll cycle by hand and waits for the record it publishes.
    bool cycle()
    {
        const std::size_t before = records.size();
        PipeClientTestAccess::tick(client);
        return waitUntil([&] { return records.size() > before; }, 15000);
    }
    // The pipe requests the service has reported so far reach `n`.
    bool serviceSawRequests(int n)
    {
        return waitUntil([&] { return service.count(QStringLiteral("request ")) >= n; }, 5000) &&
               service.count(QStringLiteral("request ")) == n;
    }

    LinkTestEnvironment environment;
    LogCapture log{QStringLiteral("PipeClient"), LogCapture::Levels::Prefixed};
    std::atomic<qint64> clockMs{1700000000000};
    std::vector<PipeClient::Status> records;
    StandInService service{instanceId()};
    PipeClient client;
};

} // namespace

TEST_F(PipeClientUnit, StatusWarningsShareOneLimitPerMinute)
{
    PipeClient::Status s;
    PipeClientTestAccess::parseStatus(client, "garbage", s);
    clockMs += 30000;
    PipeClientTestAccess::parseStatus(client, R"({"ret":3})", s);
    clockMs += 29000;
    PipeClientTestAccess::parseStatus(client, "[]", s);
    PipeClientTestAccess::parseStatus(client, R"({"ret":0})", s);
    clockMs += 1000;
    PipeClientTestAccess::parseStatus(client, R"({"ret":3})", s);
    clockMs += kMinute;
    PipeClientTestAccess::parseStatus(client, "[]", s);
    EXPECT_EQ(
        log.lines(),
        QStringList(
            {QStringLiteral(R"(WARN PipeClient GET_STATUS invalid JSON, error= "illegal value")"),
             QStringLiteral("WARN PipeClient GET_STATUS rejected, ret= 3"),
             QStringLiteral(R"(WARN PipeClient GET_STATUS invalid JSON, error= "no error occurred")")}));
}

TEST_F(PipeClientUnit, PendingDeliveryWarningsRepeatOncePerMinutePerKind)
{
    // Refused every 10 s for five minutes: one line a minute.
    for (int i = 0; i < 30; ++i) {
        PipeClientTestAccess::settleDelivery(client, 1, true, 2);
        clockMs += 10000;
    }
    const QString rejected =
        QStringLiteral(R"(WARN "PipeClient poll: pending SET_AUTOSTART(enable=1) rejected by service")");
    EXPECT_EQ(log.count(rejected), 5);
    EXPECT_EQ(log.lines().size(), 5);

    // A change of outcome is written at once, and back again.
    log.clear();
    PipeClientTestAccess::settleDelivery(client, 0, false, -1);
    PipeClientTestAccess::settleDelivery(client, 0, false, -1);
    clockMs += 1000;
    PipeClientTestAccess::settleDelivery(client, 0, true, -1);
    EXPECT_EQ(
        log.lines(),
        QStringList({QStringLiteral(R"(WARN "PipeClient poll: pending SET_AUTOSTART(enable=0) still )"
                                    R"(unreachable, kept queued")"),
                     QStringLiteral(
                         R"(WARN "PipeClient poll: pending SET_AUTOSTART(enable=0) rejected by service")")}));

    // A delivery resets the memory, so the next refusal is written at once.
    log.clear();
    PipeClientTestAccess::setPendingAutoStart(client, 0);
    PipeClientTestAccess::settleDelivery(client, 0, true, 0);
    PipeClientTestAccess::settleDelivery(client, 0, true, 9);
    EXPECT_EQ(
        log.lines(),
        QStringList({QStringLiteral(R"(INFO "PipeClient poll: pending SET_AUTOSTART(enable=0) delivered")"),
                     QStringLiteral(
                         R"(WARN "PipeClient poll: pending SET_AUTOSTART(enable=0) rejected by service")")}));
    EXPECT_EQ(PipeClientTestAccess::pendingAutoStart(client), -1);
}

TEST_F(PipeClientUnit, DeliveryKeepsASwitchMadeMeanwhile)
{
    // The user switched to 0 while 1 was on its way: 0 must still be delivered later.
    PipeClientTestAccess::setPendingAutoStart(client, 0);
    PipeClientTestAccess::settleDelivery(client, 1, true, 0);
    EXPECT_EQ(PipeClientTestAccess::pendingAutoStart(client), 0);
    EXPECT_EQ(log.count(QStringLiteral("SET_AUTOSTART(enable=1) delivered")), 1);
}

TEST_F(PipeClientUnit, SetAutoStartReportsTheServiceVerdictAndShowsTheChoiceAtOnce)
{
    ASSERT_TRUE(service.start({"--autostart", "false"}));
    EXPECT_TRUE(client.setAutoStart(true));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records.back().autoStart);
    EXPECT_EQ(PipeClientTestAccess::pendingAutoStart(client), -1);

    ASSERT_TRUE(service.sendDirect(QStringLiteral("fault SET_AUTOSTART refuse:4")));
    EXPECT_FALSE(client.setAutoStart(false));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records.back().autoStart);
    EXPECT_EQ(PipeClientTestAccess::pendingAutoStart(client), 0);

    ASSERT_TRUE(service.sendDirect(QStringLiteral("fault SET_AUTOSTART malformed")));
    EXPECT_FALSE(client.setAutoStart(true));
    EXPECT_EQ(PipeClientTestAccess::pendingAutoStart(client), 1);
    EXPECT_TRUE(client.lastStatus().autoStart);

    // The first switch reached the service as sent; the refused one changed nothing there.
    EXPECT_TRUE(service.waitForLine(QStringLiteral("request SET_AUTOSTART fault=malformed")));
    EXPECT_EQ(service.count(QStringLiteral("request SET_AUTOSTART")), 3);
    ASSERT_TRUE(service.sendDirect(QStringLiteral("fault all none")));
    QByteArray status;
    ASSERT_TRUE(PipeClientTestAccess::request(client, R"({"cmd":"GET_STATUS"})", status, true));
    EXPECT_TRUE(status.contains(R"("autoStart":true)"));
    EXPECT_EQ(log.lines(),
              QStringList({QStringLiteral(
                               R"(INFO "PipeClient SET_AUTOSTART requested enable=1 result=success ret=0")"),
                           QStringLiteral(R"(WARN "PipeClient SET_AUTOSTART requested enable=0 )"
                                          R"(result=not-confirmed ret=4; queued for retry")"),
                           QStringLiteral(R"(WARN "PipeClient SET_AUTOSTART requested enable=1 )"
                                          R"(result=not-confirmed ret=-1; queued for retry")")}));
}

TEST_F(PipeClientUnit, SetAutoStartBeforeTheFirstCycleIsNoRecovery)
{
    ASSERT_TRUE(service.start());
    EXPECT_TRUE(client.setAutoStart(true));
    ASSERT_TRUE(cycle());
    EXPECT_TRUE(records.back().connected);
    EXPECT_EQ(log.count(QStringLiteral("connection state")), 0);
}

TEST_F(PipeClientUnit, StartLogsThePipeAndPollsAtOnceDroppingTicksMeanwhile)
{
    ASSERT_TRUE(service.start({"--fault", "GET_STATUS=slow:1500"}));
    const auto polls = [this] { return service.count(QStringLiteral("answering in")); };
    client.start(20);
    EXPECT_EQ(log.lines().value(0),
              QStringLiteral(R"(INFO PipeClient start: pipePath= "%1" pollIntervalMs= 20)")
                  .arg(QString(pipePath()).replace(QLatin1Char('\\'), QLatin1String("\\\\"))));
    EXPECT_TRUE(waitUntil([&] { return polls() == 1; }, 2000));
    // Ticks keep arriving while the first cycle waits for its answer; none starts a cycle.
    waitUntil([] { return false; }, 400);
    EXPECT_EQ(polls(), 1);
    EXPECT_TRUE(records.empty());
    ASSERT_TRUE(waitUntil([&] { return records.size() == 1; }, 5000));
    EXPECT_TRUE(records.front().connected);
    ASSERT_TRUE(waitUntil([&] { return polls() == 2; }, 5000));
}

TEST_F(PipeClientUnit, ConfirmedAnswerOnTheThirdFailureCountsAsConnected)
{
    // Three status requests fail, then the service answers again.
    ASSERT_TRUE(
        service.start({"--fault", "GET_STATUS=close*3", "--processes", "mainServer:Server:9000:true"}));
    PipeClientTestAccess::setPendingAutoStart(client, 1);

    ASSERT_TRUE(cycle());
    ASSERT_TRUE(cycle());
    EXPECT_FALSE(records.back().connected);
    EXPECT_TRUE(serviceSawRequests(2));
    ASSERT_TRUE(cycle());
    // The confirmation answered: a connected cycle that also delivered the pending switch.
    EXPECT_TRUE(serviceSawRequests(5));
    EXPECT_TRUE(records.back().connected);
    EXPECT_EQ(records.back().processes.size(), 1);
    EXPECT_EQ(PipeClientTestAccess::pendingAutoStart(client), -1);
    EXPECT_EQ(log.count(QStringLiteral("delivered")), 1);

    // The counter started again: one failure republishes the record, no confirmation.
    ASSERT_TRUE(service.sendDirect(QStringLiteral("fault GET_STATUS close*1")));
    ASSERT_TRUE(cycle());
    EXPECT_TRUE(serviceSawRequests(6));
    EXPECT_TRUE(records.back().connected);
    EXPECT_EQ(log.count(QStringLiteral("connection state")), 0);
}

TEST_F(PipeClientUnit, WorkerThatCannotBeCreatedLeavesPollingAlive)
{
    ASSERT_TRUE(service.start());
    std::atomic<int> attempts{0};
    PipeClientTestAccess::failThreadCreation(client, attempts);
    client.start(20);
    ASSERT_TRUE(waitUntil([&] { return attempts.load() >= 5; }, 5000)) << "later ticks must try again";
    EXPECT_FALSE(PipeClientTestAccess::pollInFlight(client));
    const QString line = QStringLiteral("WARN PipeClient poll: worker thread not started, error= 11");
    EXPECT_EQ(log.count(line), 1) << log.lines().join('\n').toStdString();

    clockMs += kMinute;
    const int seen = attempts.load();
    ASSERT_TRUE(waitUntil([&] { return attempts.load() > seen; }, 5000));
    EXPECT_EQ(log.count(line), 2);

    PipeClientTestAccess::restoreThreadCreation(client);
    ASSERT_TRUE(waitUntil([&] { return !records.empty(); }, 5000));
    EXPECT_TRUE(records.back().connected);
}
