#include "faults.h"
#include "http.h"
#include "options.h"
#include "statusmodel.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

ParsedOptions parse(const QStringList &arguments)
{
    return parseOptions(QStringList{QStringLiteral("service-standin")} + arguments);
}

} // namespace

TEST(StandInOptions, DefaultsServeOrluneWithAHealthyState)
{
    const ParsedOptions parsed = parse({});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    const Options &o = parsed.options;
    EXPECT_EQ(o.instanceId, QStringLiteral("Orlune"));
    EXPECT_TRUE(o.faults.isEmpty());
    EXPECT_FALSE(o.processes.has_value());
    EXPECT_FALSE(o.autoStart);
    EXPECT_TRUE(o.stopExits);
    EXPECT_EQ(o.httpPort, 18080);
    EXPECT_TRUE(o.httpOn);
    EXPECT_EQ(o.httpStatus, 2);
    EXPECT_EQ(o.superUser, 1);
    EXPECT_TRUE(o.right1);
    EXPECT_FALSE(o.send.has_value());
}

TEST(StandInOptions, EveryOptionIsRead)
{
    const ParsedOptions parsed = parse({"--instance-id",
                                        "Abc",
                                        "--fault",
                                        "GET_STATUS=slow:250",
                                        "--fault",
                                        "all=refuse:4",
                                        "--processes",
                                        "redis:redis-server:1:false",
                                        "--autostart",
                                        "true",
                                        "--uptime",
                                        "12.9",
                                        "--stop-exits",
                                        "false",
                                        "--http-port",
                                        "0",
                                        "--http",
                                        "off",
                                        "--http-status",
                                        "1",
                                        "--http-status-sequence",
                                        "0,1,2",
                                        "--http-delay-probes",
                                        "2",
                                        "--superuser",
                                        "-1",
                                        "--right1",
                                        "false",
                                        "--read-timeout",
                                        "300",
                                        "--send",
                                        "uptime 5"});
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    const Options &o = parsed.options;
    EXPECT_EQ(o.instanceId, QStringLiteral("Abc"));
    ASSERT_EQ(o.faults.size(), 2);
    EXPECT_EQ(o.faults[0].first, QStringLiteral("GET_STATUS"));
    EXPECT_EQ(o.faults[0].second.text(), QStringLiteral("slow:250"));
    EXPECT_EQ(o.faults[1].first, QStringLiteral("all"));
    EXPECT_EQ(o.faults[1].second.text(), QStringLiteral("refuse:4"));
    ASSERT_TRUE(o.processes.has_value());
    EXPECT_EQ(*o.processes, (QList<ProcessEntry>{{"redis", "redis-server", 1, false}}));
    EXPECT_TRUE(o.autoStart);
    EXPECT_DOUBLE_EQ(o.uptime, 12.9);
    EXPECT_FALSE(o.stopExits);
    EXPECT_EQ(o.httpPort, 0);
    EXPECT_FALSE(o.httpOn);
    EXPECT_EQ(o.httpStatus, 1);
    EXPECT_EQ(o.httpStatusSequence, (QList<int>{0, 1, 2}));
    EXPECT_EQ(o.httpDelayProbes, 2);
    EXPECT_EQ(o.superUser, -1);
    EXPECT_FALSE(o.right1);
    EXPECT_EQ(o.readTimeoutMs, 300);
    EXPECT_EQ(o.send, QStringLiteral("uptime 5"));
}

TEST(StandInOptions, AnEmptyProcessListIsAllowed)
{
    const ParsedOptions parsed = parse({"--processes", ""});
    ASSERT_TRUE(parsed.error.isEmpty());
    ASSERT_TRUE(parsed.options.processes.has_value());
    EXPECT_TRUE(parsed.options.processes->isEmpty());
}

TEST(StandInOptions, InvalidValuesAreRejectedWithTheOptionNamed)
{
    const QList<QStringList> invalid = {
        {"--fault", "GET_STATUS"},
        {"--fault", "PING=close"},
        {"--fault", "GET_STATUS=busy"},
        {"--fault", "all=refuse:0"},
        {"--fault", "all=slow"},
        {"--fault", "all=split:x"},
        {"--processes", "a:b:c:true"},
        {"--processes", "a:b:1"},
        {"--autostart", "yes"},
        {"--uptime", "soon"},
        {"--uptime", "inf"},
        {"--http-port", "70000"},
        {"--http", "maybe"},
        {"--http-status-sequence", "1,,2"},
        {"--http-delay-probes", "-1"},
        {"--read-timeout", "0"},
        {"--no-such-option"},
        {"stray"},
    };
    for (const QStringList &arguments : invalid) {
        const ParsedOptions parsed = parse(arguments);
        EXPECT_FALSE(parsed.error.isEmpty()) << arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(parse({"--http-port", "70000"}).error.contains(QStringLiteral("--http-port")));
}

TEST(FaultModes, ParseAndSpellBack)
{
    const QStringList valid = {"none",      "refuse:1", "refuse:-7", "malformed", "oversize",
                               "split:100", "split:0",  "close",     "silent",    "slow:1500",
                               "busy",      "hangup",   "close*3",   "refuse:4*2"};
    for (const QString &text : valid) {
        QString error;
        const std::optional<Fault> fault = parseFault(text, &error);
        ASSERT_TRUE(fault.has_value()) << text.toStdString() << ": " << error.toStdString();
        EXPECT_EQ(fault->text(), text);
    }
    QString error;
    EXPECT_EQ(parseFault(QStringLiteral("refuse"), &error)->value, 1);
    EXPECT_EQ(parseFault(QStringLiteral("split"), &error)->value, 100);
    for (const char *text : {"refuse:0", "refuse:x", "slow", "slow:-1", "close:3", "sometimes", "", "close*0",
                             "close*x", "none*2", "busy*2", "hangup*1"})
        EXPECT_FALSE(parseFault(QLatin1String(text), &error).has_value()) << text;
}

TEST(FaultModes, TableAppliesPerCommandAndAll)
{
    QString error;
    FaultTable table;
    ASSERT_TRUE(table.set(QStringLiteral("SET_AUTOSTART"), {Fault::Close, 0}, &error));
    EXPECT_EQ(table.take(QStringLiteral("SET_AUTOSTART")).kind, Fault::Close);
    EXPECT_EQ(table.take(QStringLiteral("GET_STATUS")).kind, Fault::None);
    EXPECT_EQ(table.take(QString()).kind, Fault::None);

    ASSERT_TRUE(table.set(QStringLiteral("all"), {Fault::Refuse, 3}, &error));
    for (const QString &command : pipeCommands())
        EXPECT_EQ(table.take(command).text(), QStringLiteral("refuse:3"));

    EXPECT_FALSE(table.set(QStringLiteral("GET_STATUS"), {Fault::Busy, 0}, &error));
    EXPECT_FALSE(table.set(QStringLiteral("get_status"), {Fault::Close, 0}, &error));
    ASSERT_TRUE(table.set(QStringLiteral("all"), {Fault::Busy, 0}, &error));
    EXPECT_TRUE(table.busy());
    // A per-command mode leaves the pipe busy; only another "all" ends it.
    ASSERT_TRUE(table.set(QStringLiteral("GET_STATUS"), {Fault::Silent, 0}, &error));
    EXPECT_TRUE(table.busy());
    ASSERT_TRUE(table.set(QStringLiteral("all"), {Fault::None, 0}, &error));
    EXPECT_FALSE(table.busy());
    EXPECT_EQ(table.take(QStringLiteral("GET_STATUS")).kind, Fault::None);

    EXPECT_FALSE(table.set(QStringLiteral("GET_STATUS"), {Fault::HangUp, 0}, &error));
    ASSERT_TRUE(table.set(QStringLiteral("all"), {Fault::HangUp, 0}, &error));
    EXPECT_TRUE(table.hangUp());
    ASSERT_TRUE(table.set(QStringLiteral("all"), {Fault::Busy, 0}, &error));
    EXPECT_FALSE(table.hangUp());
}

TEST(FaultModes, CountedFaultSpoilsTheNextRequestsOfItsCommandOnly)
{
    QString error;
    FaultTable table;
    ASSERT_TRUE(table.set(QStringLiteral("GET_STATUS"), {Fault::Close, 0, 2}, &error));
    ASSERT_TRUE(table.set(QStringLiteral("SET_AUTOSTART"), {Fault::Refuse, 4}, &error));
    EXPECT_EQ(table.take(QStringLiteral("GET_STATUS")).text(), QStringLiteral("close*2"));
    EXPECT_EQ(table.take(QStringLiteral("GET_STATUS")).text(), QStringLiteral("close*1"));
    EXPECT_EQ(table.take(QStringLiteral("GET_STATUS")).kind, Fault::None);
    EXPECT_EQ(table.take(QStringLiteral("GET_STATUS")).kind, Fault::None);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(table.take(QStringLiteral("SET_AUTOSTART")).text(), QStringLiteral("refuse:4"));

    ASSERT_TRUE(table.set(QStringLiteral("all"), {Fault::Silent, 0, 1}, &error));
    for (const QString &command : pipeCommands()) {
        EXPECT_EQ(table.take(command).kind, Fault::Silent);
        EXPECT_EQ(table.take(command).kind, Fault::None);
    }
}

TEST(FaultModes, SpoiledAnswersHaveTheirPromisedShape)
{
    const QJsonObject answer = StatusModel(18080).statusAnswer();
    const QByteArray text = QJsonDocument(answer).toJson(QJsonDocument::Compact);

    QJsonParseError parseError;
    QJsonDocument::fromJson(malformedAnswer(text), &parseError);
    EXPECT_NE(parseError.error, QJsonParseError::NoError);
    QJsonDocument::fromJson(malformedAnswer("{\"ret\":0}"), &parseError);
    EXPECT_NE(parseError.error, QJsonParseError::NoError);

    const QByteArray large = oversizeAnswer(answer);
    EXPECT_GT(large.size(), 4095);
    const QJsonObject decoded = QJsonDocument::fromJson(large).object();
    EXPECT_EQ(decoded.value(QStringLiteral("ret")).toInt(-1), 0);
    EXPECT_EQ(decoded.value(QStringLiteral("processes")), answer.value(QStringLiteral("processes")));

    const QList<QByteArray> pieces = splitAnswer(text, 3);
    ASSERT_EQ(pieces.size(), 3);
    EXPECT_EQ(pieces.join(), text);
    for (const QByteArray &piece : pieces)
        EXPECT_FALSE(piece.isEmpty());
    EXPECT_EQ(splitAnswer("ab", 3), (QList<QByteArray>{"a", "b"}));
}

TEST(ProcessSpec, ParsesEntriesAndKeepsOddOnesOnPurpose)
{
    QString error;
    const auto processes = parseProcesses(QStringLiteral("mainServer::0:false,other:v7iZodore:-5:1"), &error);
    ASSERT_TRUE(processes.has_value()) << error.toStdString();
    EXPECT_EQ(*processes,
              (QList<ProcessEntry>{{"mainServer", "", 0, false}, {"other", "v7iZodore", -5, true}}));
    EXPECT_FALSE(parseProcesses(QStringLiteral("a:b:1:true,"), &error).has_value());
    EXPECT_FALSE(parseProcesses(QStringLiteral("a:b:1:true:x"), &error).has_value());
}

TEST(HttpRequestLine, AcceptsOnlyWellFormedRequestLines)
{
    const HttpRequestLine get = parseHttpRequestLine("GET /status HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(get.valid);
    EXPECT_EQ(get.method, "GET");
    EXPECT_EQ(get.path, "/status");
    for (const char *head : {"", "GET /status\r\n\r\n", "GET status HTTP/1.1\r\n\r\n",
                             "hello there world\r\n\r\n", "GET  /status HTTP/1.1\r\n\r\n"})
        EXPECT_FALSE(parseHttpRequestLine(head).valid) << head;
}
