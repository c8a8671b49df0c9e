#include "control.h"

#include "faults.h"
#include "pipeserver.h"
#include "statusmodel.h"
#include "values.h"
#include "webserver.h"

#include <QRegularExpression>

#include <climits>

namespace {

const QString kOk = QStringLiteral("ok");

QString failure(const QString &reason)
{
    return QStringLiteral("error: ") + reason;
}

QString badValue(const QString &verb, const QString &expected, const QString &argument)
{
    return failure(QStringLiteral("%1 expects %2, not \"%3\"").arg(verb, expected, argument));
}

} // namespace

ControlInterpreter::ControlInterpreter(StatusModel &model, PipeServer &pipe, WebServer *web)
    : m_model(model), m_pipe(pipe), m_web(web)
{
}

ControlReply ControlInterpreter::execute(const QString &command)
{
    const QString trimmed = command.trimmed();
    const QString verb = trimmed.section(QLatin1Char(' '), 0, 0);
    const QString argument = trimmed.section(QLatin1Char(' '), 1).trimmed();
    ControlReply reply;
    reply.text = run(verb, argument, &reply.quit);
    return reply;
}

QString ControlInterpreter::run(const QString &verb, const QString &argument, bool *quit)
{
    QString error;
    if (verb == QLatin1String("fault")) {
        const QStringList parts =
            argument.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (parts.size() != 2)
            return badValue(verb, QStringLiteral("CMD MODE"), argument);
        const std::optional<Fault> fault = parseFault(parts[1], &error);
        if (!fault || !m_pipe.setFault(parts[0], *fault, &error))
            return failure(error);
        return kOk;
    }
    if (verb == QLatin1String("autostart")) {
        const std::optional<bool> enabled = parseBool(argument);
        if (!enabled)
            return badValue(verb, QStringLiteral("true or false"), argument);
        m_model.setAutoStart(*enabled);
        return kOk;
    }
    if (verb == QLatin1String("processes")) {
        const std::optional<QList<ProcessEntry>> processes = parseProcesses(argument, &error);
        if (!processes)
            return failure(error);
        m_model.setProcesses(*processes);
        return kOk;
    }
    if (verb == QLatin1String("uptime")) {
        const std::optional<double> seconds = parseNumber(argument);
        if (!seconds)
            return badValue(verb, QStringLiteral("a number of seconds"), argument);
        m_model.setUptime(*seconds);
        return kOk;
    }
    if ((verb == QLatin1String("down") || verb == QLatin1String("up") || verb == QLatin1String("quit")) &&
        !argument.isEmpty())
        return failure(QStringLiteral("%1 takes no argument").arg(verb));
    if (verb == QLatin1String("down") || verb == QLatin1String("up"))
        return m_pipe.setServing(verb == QLatin1String("up"), &error) ? kOk : failure(error);
    if (verb == QLatin1String("quit")) {
        *quit = true;
        return kOk;
    }
    return runWeb(verb, argument);
}

QString ControlInterpreter::runWeb(const QString &verb, const QString &argument)
{
    static const QStringList webVerbs = {QStringLiteral("http"),
                                         QStringLiteral("http-status"),
                                         QStringLiteral("http-status-sequence"),
                                         QStringLiteral("http-delay-probes"),
                                         QStringLiteral("superuser"),
                                         QStringLiteral("right1")};
    if (!webVerbs.contains(verb))
        return failure(QStringLiteral("unknown command \"%1\"").arg(verb));
    if (!m_web)
        return failure(QStringLiteral("no web server (started with --http-port 0)"));

    if (verb == QLatin1String("http")) {
        if (argument != QLatin1String("on") && argument != QLatin1String("off"))
            return badValue(verb, QStringLiteral("on or off"), argument);
        QString error;
        return m_web->setServing(argument == QLatin1String("on"), &error) ? kOk : failure(error);
    }
    if (verb == QLatin1String("http-status-sequence")) {
        const std::optional<QList<int>> statuses = parseIntList(argument, INT_MIN, INT_MAX);
        if (!statuses)
            return badValue(verb, QStringLiteral("N1,N2,..."), argument);
        m_web->setStatusSequence(*statuses);
        return kOk;
    }
    if (verb == QLatin1String("right1")) {
        const std::optional<bool> granted = parseBool(argument);
        if (!granted)
            return badValue(verb, QStringLiteral("true or false"), argument);
        m_web->setRight1(*granted);
        return kOk;
    }
    const int min = verb == QLatin1String("http-delay-probes") ? 0 : INT_MIN;
    const std::optional<int> value = parseInt(argument, min, INT_MAX);
    if (!value)
        return badValue(verb, QStringLiteral("an integer"), argument);
    if (verb == QLatin1String("http-status"))
        m_web->setStatus(*value);
    else if (verb == QLatin1String("http-delay-probes"))
        m_web->setDelayedProbes(*value);
    else
        m_web->setSuperUser(*value);
    return kOk;
}
