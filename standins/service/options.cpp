#include "options.h"

#include "values.h"

#include <QCommandLineParser>

#include <climits>

namespace {

const char kDescription[] = R"(Stand-in for the product's background service, for development and tests.

It serves the pipe "\\.\pipe\<ID>_Service" of an installation identifier (a Unix socket in the
per-user runtime directory on Linux, named by the same rules as the tray), one request line per
connection, one JSON answer in one write, then closes the connection; any number of connections
at once. It answers from a state it holds:
  GET_STATUS     {"autoStart":false,"httpPort":18080,"processes":[{"name":"Server","port":9010,
                 "running":true,"type":"mainServer"},...],"ret":0,"uptime":12}
                 (uptime counts up in whole seconds from --uptime)
  SET_AUTOSTART  {"cmd":"SET_AUTOSTART","enable":true|false} sets autoStart; {"ret":0}
  STOP_SERVICE   {"ret":0}, then the stand-in ends with exit code 0 (unless --stop-exits false)
  anything else  {"ret":-2} (not JSON, no "cmd", unknown command, "enable" missing)
A request must end in a line feed within the read timeout and within 4096 bytes.

Fault modes (per command GET_STATUS, SET_AUTOSTART, STOP_SERVICE, or "all"):
  none        answer normally
  refuse[:RET]  answer {"ret":RET} (RET non-zero, default 1); the command is not carried out
  malformed   answer the first half of the JSON text (never valid JSON)
  oversize    answer one valid JSON object of more than 6000 bytes in one write
  split[:MS]  answer in three writes MS ms apart (default 100)
  close       read the request, close without answering; not carried out
  silent      read the request, never answer, keep the connection open until the client
              closes it; not carried out
  slow:MS     carry out and answer after MS ms
  busy        ("all" only) the pipe exists but every instance is busy: the listening socket
              accepts nothing and its backlog (1) is filled by connections of the stand-in
              itself, so a non-blocking connect fails at once with EAGAIN and a blocking one
              waits for its time-out. "fault all <other mode>" ends it.
  hangup      ("all" only) accept each connection and close it at once, before reading;
              "fault all <other mode>" ends it.
A malformed, oversize, split or slow answer still carries the command out. "fault all MODE"
replaces every command's mode. MODE*N (not none, busy or hangup) spoils only the next N
requests of the command, which then answers normally again; with "all", N for each command.

Control channel: a second local server, the pipe name + ".control", one command per
connection, one reply line "ok" or "error: <reason>". Send with
  service-standin --instance-id ID --send "<command>"   (exit 0: ok, 1: error, 2: unreachable)
Commands:
  fault CMD MODE                 CMD: GET_STATUS|SET_AUTOSTART|STOP_SERVICE|all, MODE as above
  autostart true|false
  processes type:name:port:running,...   (empty: no processes)
  uptime N                       counts up again from N seconds (fractions and huge values kept)
  down | up                      stop serving the pipe (connects fail as for a missing pipe) /
                                 serve it again
  quit                           reply, then end with exit code 0
  http on|off                    open / close the web port (closed: a TCP connect is refused)
  http-status N                  the status GET /status reports (2 means ready)
  http-status-sequence N1,N2,..  each GET /status takes the next value, the last one stays
  http-delay-probes K            the next K TCP connections are accepted and closed at once,
                                 without reading or answering (the connect itself succeeds)
  superuser N                    the "superUser" value (-1: the query failed)
  right1 true|false              whether "rights" holds 1

Web server: TCP on 127.0.0.1:<http port>, HTTP/1.1, "Connection: close". GET /status answers
200 with {"rights":[1],"status":2,"superUser":1} ("rights" is [] without right 1); another
path 404, another method 405, a request that is not HTTP 400, each with {"error":"..."}.

Output: one line per event on standard output, flushed, e.g.
  ready pipe=<socket> control=<socket> http=<port>|off|none
  request GET_STATUS -> {"autoStart":false,...,"ret":0,"uptime":3}
  request GET_STATUS fault=close -> closed without an answer
  control "fault all refuse:5" -> ok
  http GET /status -> 200 {"rights":[1],"status":2,"superUser":1}
  stopping: STOP_SERVICE accepted
Exit codes: 0 after STOP_SERVICE, quit or a termination request (a signal; WM_CLOSE on
Windows); 1 when a name or port cannot be served; 2 for an invalid command line.)";

struct OptionNames {
    QCommandLineOption instanceId{
        QStringLiteral("instance-id"),
        QStringLiteral("Installation identifier whose pipe is served (default Orlune)."),
        QStringLiteral("ID"), QStringLiteral("Orlune")};
    QCommandLineOption fault{QStringLiteral("fault"),
                             QStringLiteral("Fault at start, CMD=MODE (repeatable; see above)."),
                             QStringLiteral("CMD=MODE")};
    QCommandLineOption processes{QStringLiteral("processes"),
                                 QStringLiteral("Process list type:name:port:running,... (default: Server, "
                                                "dbserver, v7iZodore on the HTTP port, redis-server)."),
                                 QStringLiteral("SPEC")};
    QCommandLineOption autoStart{QStringLiteral("autostart"),
                                 QStringLiteral("Initial autoStart (default false)."),
                                 QStringLiteral("true|false")};
    QCommandLineOption uptime{QStringLiteral("uptime"),
                              QStringLiteral("Uptime at start in seconds (default 0)."), QStringLiteral("N")};
    QCommandLineOption stopExits{QStringLiteral("stop-exits"),
                                 QStringLiteral("Whether STOP_SERVICE ends the stand-in (default true)."),
                                 QStringLiteral("true|false")};
    QCommandLineOption httpPort{QStringLiteral("http-port"),
                                QStringLiteral("Web server port on 127.0.0.1 (default 18080; 0: none)."),
                                QStringLiteral("N")};
    QCommandLineOption http{QStringLiteral("http"),
                            QStringLiteral("Whether the web port is open at start (default on)."),
                            QStringLiteral("on|off")};
    QCommandLineOption httpStatus{QStringLiteral("http-status"),
                                  QStringLiteral("GET /status status (default 2)."), QStringLiteral("N")};
    QCommandLineOption httpStatusSequence{
        QStringLiteral("http-status-sequence"),
        QStringLiteral("Statuses for successive GET /status; the last stays."), QStringLiteral("N1,N2,...")};
    QCommandLineOption httpDelayProbes{
        QStringLiteral("http-delay-probes"),
        QStringLiteral("Close the first K TCP connections unanswered (default 0)."), QStringLiteral("K")};
    QCommandLineOption superUser{QStringLiteral("superuser"), QStringLiteral("superUser value (default 1)."),
                                 QStringLiteral("N")};
    QCommandLineOption right1{QStringLiteral("right1"),
                              QStringLiteral("Whether right 1 is granted (default true)."),
                              QStringLiteral("true|false")};
    QCommandLineOption readTimeout{
        QStringLiteral("read-timeout"),
        QStringLiteral("Time a client has to send its request line (default 5000)."), QStringLiteral("MS")};
    QCommandLineOption service{
        QStringLiteral("service"),
        QStringLiteral("Run as the Windows service NAME, started by the service control manager "
                       "(\"sc create\" it with this option in its command line); a stop request "
                       "of the manager ends the stand-in like \"quit\". Windows only."),
        QStringLiteral("NAME")};
    QCommandLineOption send{
        QStringLiteral("send"),
        QStringLiteral("Client mode: send a control command to the stand-in of --instance-id, "
                       "print its reply; exit 0 on ok, 1 on error, 2 unreachable."),
        QStringLiteral("COMMAND")};
};

void configure(QCommandLineParser &parser, const OptionNames &names)
{
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addOptions({names.instanceId, names.fault, names.processes, names.autoStart, names.uptime,
                       names.stopExits, names.httpPort, names.http, names.httpStatus,
                       names.httpStatusSequence, names.httpDelayProbes, names.superUser, names.right1,
                       names.readTimeout, names.service, names.send});
}

// Reads one option's value when it is set; false with `error` filled when it is invalid.
template <typename T, typename Parse>
bool readValue(const QCommandLineParser &parser, const QCommandLineOption &option, T &target, Parse parse,
               QString &error)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    const auto value = parse(text);
    if (!value) {
        error = QStringLiteral("invalid value \"%1\" for --%2").arg(text, option.names().first());
        return false;
    }
    target = *value;
    return true;
}

bool readFaults(const QStringList &values, Options &options, QString &error)
{
    for (const QString &value : values) {
        const qsizetype equals = value.indexOf(QLatin1Char('='));
        QString reason;
        const std::optional<Fault> fault =
            equals > 0 ? parseFault(value.mid(equals + 1), &reason) : std::nullopt;
        FaultTable check;
        if (!fault || !check.set(value.left(equals), *fault, &reason)) {
            error = QStringLiteral("invalid --fault \"%1\": %2")
                        .arg(value, reason.isEmpty() ? QStringLiteral("expected CMD=MODE") : reason);
            return false;
        }
        options.faults.append({value.left(equals), *fault});
    }
    return true;
}

} // namespace

ParsedOptions parseOptions(const QStringList &arguments)
{
    ParsedOptions parsed;
    QCommandLineParser parser;
    const OptionNames names;
    configure(parser, names);
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parsed.help = true;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return parsed;
    }

    Options &o = parsed.options;
    QString &error = parsed.error;
    const auto anyInt = [](const QString &text) { return parseInt(text, INT_MIN, INT_MAX); };
    const auto count = [](const QString &text) { return parseInt(text, 0, INT_MAX); };
    const auto onOff = [](const QString &text) -> std::optional<bool> {
        if (text == QLatin1String("on") || text == QLatin1String("off"))
            return text == QLatin1String("on");
        return std::nullopt;
    };
    const auto processes = [](const QString &text) {
        QString ignored;
        return parseProcesses(text, &ignored);
    };
    const auto identity = [](const QString &text) { return std::optional<QString>(text); };

    o.instanceId = parser.value(names.instanceId);
    const bool valid = readFaults(parser.values(names.fault), o, error) &&
                       readValue(parser, names.processes, o.processes, processes, error) &&
                       readValue(parser, names.autoStart, o.autoStart, parseBool, error) &&
                       readValue(parser, names.uptime, o.uptime, parseNumber, error) &&
                       readValue(parser, names.stopExits, o.stopExits, parseBool, error) &&
                       readValue(
                           parser, names.httpPort, o.httpPort,
                           [](const QString &text) { return parseInt(text, 0, 65535); }, error) &&
                       readValue(parser, names.http, o.httpOn, onOff, error) &&
                       readValue(parser, names.httpStatus, o.httpStatus, anyInt, error) &&
                       readValue(
                           parser, names.httpStatusSequence, o.httpStatusSequence,
                           [](const QString &text) { return parseIntList(text, INT_MIN, INT_MAX); }, error) &&
                       readValue(parser, names.httpDelayProbes, o.httpDelayProbes, count, error) &&
                       readValue(parser, names.superUser, o.superUser, anyInt, error) &&
                       readValue(parser, names.right1, o.right1, parseBool, error) &&
                       readValue(
                           parser, names.readTimeout, o.readTimeoutMs,
                           [](const QString &text) { return parseInt(text, 1, 3600000); }, error) &&
                       readValue(parser, names.service, o.service, identity, error) &&
                       readValue(parser, names.send, o.send, identity, error);
    Q_ASSERT(valid || !error.isEmpty());
    return parsed;
}

QString helpText()
{
    QCommandLineParser parser;
    const OptionNames names;
    configure(parser, names);
    return parser.helpText();
}
