#include "pipeprotocol.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Outcome = StatusDecode::Outcome;

PipeClient::Status decode(const QByteArray &answer, Outcome expected)
{
    PipeClient::Status status;
    const StatusDecode result = decodeStatus(answer, status);
    EXPECT_EQ(result.outcome, expected) << answer.constData();
    return status;
}

QStringList names(const PipeClient::Status &status)
{
    QStringList list;
    for (const PipeClient::ProcessInfo &process : status.processes)
        list << process.name;
    return list;
}

} // namespace

TEST(PipeProtocol, RequestsAreCompactJsonInKeyOrder)
{
    EXPECT_EQ(getStatusRequest(), QByteArray(R"({"cmd":"GET_STATUS"})"));
    EXPECT_EQ(setAutoStartRequest(true), QByteArray(R"({"cmd":"SET_AUTOSTART","enable":true})"));
    EXPECT_EQ(setAutoStartRequest(false), QByteArray(R"({"cmd":"SET_AUTOSTART","enable":false})"));
    EXPECT_EQ(stopServiceRequest(), QByteArray(R"({"cmd":"STOP_SERVICE"})"));
}

TEST(PipeProtocol, RetOfCommandAnswers)
{
    EXPECT_EQ(answerRet(R"({"ret":0})"), 0);
    EXPECT_EQ(answerRet(R"({"ret":7,"msg":"busy"})"), 7);
    EXPECT_EQ(answerRet(R"({"ret":-2147483648})"), std::numeric_limits<int>::min());
    // Not a whole number in the 32-bit range, not a number, missing, not an object: refused.
    EXPECT_EQ(answerRet(R"({"ret":2147483648})"), -1);
    EXPECT_EQ(answerRet(R"({"ret":0.5})"), -1);
    EXPECT_EQ(answerRet(R"({"ret":"0"})"), -1);
    EXPECT_EQ(answerRet(R"({"ret":null})"), -1);
    EXPECT_EQ(answerRet(R"({})"), -1);
    EXPECT_EQ(answerRet(R"([0])"), -1);
    EXPECT_EQ(answerRet(R"({"ret":0)"), -1);
    EXPECT_EQ(answerRet(""), -1);
}

TEST(PipeProtocol, BareSuccessDecodesToDefaults)
{
    const PipeClient::Status s = decode(R"({"ret":0})", Outcome::Connected);
    EXPECT_TRUE(s.connected);
    EXPECT_TRUE(s.mainServerRunning);
    EXPECT_FALSE(s.restarting);
    EXPECT_EQ(s.uptime, 0);
    EXPECT_EQ(s.httpPort, 0);
    EXPECT_FALSE(s.autoStart);
    EXPECT_TRUE(s.processes.isEmpty());
}

TEST(PipeProtocol, TypicalAnswerDecodesEveryField)
{
    const PipeClient::Status s = decode(
        R"({"ret":0,"uptime":3600,"httpPort":8080,"autoStart":true,"extra":[1,2],
            "processes":[{"type":"mainServer","name":"Server","port":9000,"running":true},
                         {"type":"database","name":"pg","port":5432,"running":true},
                         {"type":"webServer","name":"v7iZodore","port":8080,"running":true},
                         {"type":"redis","name":"redis-server","port":6379,"running":true}]})",
        Outcome::Connected);
    EXPECT_TRUE(s.connected);
    EXPECT_TRUE(s.mainServerRunning);
    EXPECT_FALSE(s.restarting);
    EXPECT_EQ(s.uptime, 3600);
    EXPECT_EQ(s.httpPort, 8080);
    EXPECT_TRUE(s.autoStart);
    ASSERT_EQ(s.processes.size(), 4);
    EXPECT_EQ(names(s), QStringList({"Server", "pg", "v7iZodore", "redis-server"}));
    EXPECT_EQ(s.processes[1].port, 5432);
    EXPECT_TRUE(s.processes[3].running);
}

TEST(PipeProtocol, NotAnObjectIsInvalidJsonWithParseErrorText)
{
    PipeClient::Status s;
    StatusDecode r = decodeStatus(R"([{"ret":0}])", s);
    EXPECT_EQ(r.outcome, Outcome::InvalidJson);
    EXPECT_EQ(r.parseError, QStringLiteral("no error occurred"));

    r = decodeStatus(R"({"ret":0,"uptime":)", s);
    EXPECT_EQ(r.outcome, Outcome::InvalidJson);
    EXPECT_NE(r.parseError, QStringLiteral("no error occurred"));
    EXPECT_FALSE(r.parseError.isEmpty());

    decode("", Outcome::InvalidJson);
    decode("not json", Outcome::InvalidJson);
    decode("42", Outcome::InvalidJson);
    decode(QByteArray("{\"ret\":0}\0garbage", 17), Outcome::InvalidJson);
}

TEST(PipeProtocol, RefusalsCarryRetAndLeaveTheRecordAlone)
{
    const struct {
        const char *answer;
        int ret;
    } cases[] = {
        {R"({"ret":1})", 1},      {R"({"ret":-5,"uptime":9})", -5}, {R"({"ret":"0"})", -1},
        {R"({"uptime":10})", -1}, {R"({"ret":0.25})", -1},          {R"({"ret":1e12})", -1},
        {R"({"ret":true})", -1},  {R"({"ret":-0.0001})", -1},
    };
    for (const auto &c : cases) {
        PipeClient::Status s;
        s.connected = true;
        s.uptime = 77;
        s.autoStart = true;
        s.processes.append({QStringLiteral("keep"), 1, true});
        const StatusDecode r = decodeStatus(c.answer, s);
        EXPECT_EQ(r.outcome, Outcome::Rejected) << c.answer;
        EXPECT_EQ(r.ret, c.ret) << c.answer;
        EXPECT_FALSE(s.connected);
        EXPECT_EQ(s.uptime, 77);
        EXPECT_TRUE(s.autoStart);
        EXPECT_EQ(s.processes.size(), 1);
    }
}

TEST(PipeProtocol, MembersOfTheWrongTypeOrRangeTakeTheirDefaults)
{
    PipeClient::Status s = decode(R"({"ret":0,"uptime":"5","httpPort":"8080","autoStart":"true",
                                      "processes":{"type":"redis","name":"r"}})",
                                  Outcome::Connected);
    EXPECT_EQ(s.uptime, 0);
    EXPECT_EQ(s.httpPort, 0);
    EXPECT_FALSE(s.autoStart);
    EXPECT_TRUE(s.processes.isEmpty());

    s = decode(R"({"ret":0,"httpPort":80.5,"autoStart":1})", Outcome::Connected);
    EXPECT_EQ(s.httpPort, 0);
    EXPECT_FALSE(s.autoStart);
    s = decode(R"({"ret":0,"httpPort":4294967296})", Outcome::Connected);
    EXPECT_EQ(s.httpPort, 0);
    s = decode(R"({"ret":0,"httpPort":-2147483649})", Outcome::Connected);
    EXPECT_EQ(s.httpPort, 0);
    s = decode(R"({"ret":0,"httpPort":2147483647.0})", Outcome::Connected);
    EXPECT_EQ(s.httpPort, 2147483647);

    s = decode(R"({"ret":0,"processes":[{"type":"redis","name":"r","port":"6379","running":"yes"},
                                       {"type":"redis","name":"s","port":1.5,"running":1}]})",
               Outcome::Connected);
    ASSERT_EQ(s.processes.size(), 2);
    EXPECT_EQ(s.processes[0].port, 0);
    EXPECT_FALSE(s.processes[0].running);
    EXPECT_EQ(s.processes[1].port, 0);
    EXPECT_FALSE(s.processes[1].running);
}

TEST(PipeProtocol, UptimeTruncatesTowardZeroAndClampsToSixtyFourBits)
{
    const struct {
        const char *answer;
        qint64 uptime;
    } cases[] = {
        {R"({"ret":0,"uptime":12.9})", 12},
        {R"({"ret":0,"uptime":-3.5})", -3},
        {R"({"ret":0,"uptime":86400})", 86400},
        {R"({"ret":0,"uptime":4.5e15})", 4500000000000000},
        {R"({"ret":0,"uptime":1e30})", std::numeric_limits<qint64>::max()},
        {R"({"ret":0,"uptime":9223372036854775807})", std::numeric_limits<qint64>::max()},
        {R"({"ret":0,"uptime":-1e300})", std::numeric_limits<qint64>::min()},
        {R"({"ret":0,"uptime":-9223372036854775808})", std::numeric_limits<qint64>::min()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decode(c.answer, Outcome::Connected).uptime, c.uptime) << c.answer;
}

TEST(PipeProtocol, ProcessKindsMatchTypeOrNameExactly)
{
    const PipeClient::Status s = decode(
        R"({"ret":0,"processes":[
            {"type":"other","name":"v7iZodore","running":true},
            {"type":"Database","name":"pg1","running":true},
            {"type":"database","name":"pg2","running":true},
            {"type":"x","name":"Server","running":true},
            {"type":"x","name":"server","running":true},
            {"type":"x","name":"redis-server","running":true},
            {"type":"REDIS","name":"r2","running":true},
            {"type":"webServer","name":"web","running":true},
            {"type":"mainserver","name":"m","running":true},
            {"name":"lonely","running":true},
            42, "text", null, [1]
        ]})",
        Outcome::Connected);
    EXPECT_EQ(names(s), QStringList({"v7iZodore", "pg2", "Server", "redis-server", "web"}));
    EXPECT_FALSE(s.restarting);
}

TEST(PipeProtocol, MainServerAndRestartingRules)
{
    // An unnamed main server is not listed but still reports the server as down.
    PipeClient::Status s = decode(R"({"ret":0,"processes":[{"type":"mainServer","name":"","running":false},
                                                          {"type":"redis","name":"r","running":true}]})",
                                  Outcome::Connected);
    EXPECT_EQ(names(s), QStringList({"r"}));
    EXPECT_FALSE(s.mainServerRunning);
    EXPECT_TRUE(s.restarting);

    // An unnamed database is dropped completely, so its state does not count.
    s = decode(R"({"ret":0,"processes":[{"type":"database","name":"","running":false}]})",
               Outcome::Connected);
    EXPECT_TRUE(s.processes.isEmpty());
    EXPECT_TRUE(s.mainServerRunning);
    EXPECT_FALSE(s.restarting);

    // Any listed process that is down means restarting, the main server staying up.
    s = decode(R"({"ret":0,"processes":[{"type":"mainServer","name":"Server","running":true},
                                       {"type":"database","name":"pg","running":false}]})",
               Outcome::Connected);
    EXPECT_TRUE(s.mainServerRunning);
    EXPECT_TRUE(s.restarting);

    // The last main-server entry wins, in either direction.
    s = decode(R"({"ret":0,"processes":[{"type":"mainServer","name":"","running":false},
                                       {"type":"x","name":"Server","running":true}]})",
               Outcome::Connected);
    EXPECT_TRUE(s.mainServerRunning);
    EXPECT_FALSE(s.restarting);
    s = decode(R"({"ret":0,"processes":[{"type":"mainServer","name":"","running":true},
                                       {"type":"mainServer","name":"","running":false}]})",
               Outcome::Connected);
    EXPECT_FALSE(s.mainServerRunning);
    EXPECT_TRUE(s.restarting);

    // A main server without "running" reads as not running.
    s = decode(R"({"ret":0,"processes":[{"type":"mainServer","name":"Server"}]})", Outcome::Connected);
    EXPECT_FALSE(s.mainServerRunning);
    EXPECT_TRUE(s.restarting);
}
