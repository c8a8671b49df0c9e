#include "faults.h"

#include "values.h"

#include <QJsonDocument>

#include <algorithm>
#include <climits>

namespace {

constexpr int kMaxDelayMs = 600000;
constexpr int kDefaultRefusal = 1;
constexpr int kDefaultSplitPauseMs = 100;
constexpr int kOversizePadding = 6000;

struct NamedKind {
    const char *name;
    Fault::Kind kind;
};

constexpr NamedKind kPlainKinds[] = {
    {"none", Fault::None},   {"malformed", Fault::Malformed}, {"oversize", Fault::Oversize},
    {"close", Fault::Close}, {"silent", Fault::Silent},       {"busy", Fault::Busy},
};

} // namespace

QString Fault::text() const
{
    switch (kind) {
    case Refuse:
        return QStringLiteral("refuse:%1").arg(value);
    case Split:
        return QStringLiteral("split:%1").arg(value);
    case Slow:
        return QStringLiteral("slow:%1").arg(value);
    default:
        break;
    }
    for (const NamedKind &named : kPlainKinds) {
        if (named.kind == kind)
            return QLatin1String(named.name);
    }
    return QString();
}

std::optional<Fault> parseFault(const QString &text, QString *error)
{
    const QString name = text.section(QLatin1Char(':'), 0, 0);
    const bool hasArgument = text.contains(QLatin1Char(':'));
    const QString argument = text.section(QLatin1Char(':'), 1);

    for (const NamedKind &named : kPlainKinds) {
        if (name == QLatin1String(named.name) && !hasArgument)
            return Fault{named.kind, 0};
    }
    if (name == QLatin1String("refuse")) {
        if (!hasArgument)
            return Fault{Fault::Refuse, kDefaultRefusal};
        const std::optional<int> ret = parseInt(argument, INT_MIN, INT_MAX);
        if (ret && *ret != 0)
            return Fault{Fault::Refuse, *ret};
        *error = QStringLiteral("refuse needs a non-zero integer ret, not \"%1\"").arg(argument);
        return std::nullopt;
    }
    if (name == QLatin1String("split")) {
        if (!hasArgument)
            return Fault{Fault::Split, kDefaultSplitPauseMs};
        if (const std::optional<int> pause = parseInt(argument, 0, kMaxDelayMs))
            return Fault{Fault::Split, *pause};
        *error = QStringLiteral("split needs a pause of 0..%1 ms, not \"%2\"").arg(kMaxDelayMs).arg(argument);
        return std::nullopt;
    }
    if (name == QLatin1String("slow")) {
        if (const std::optional<int> delay = hasArgument ? parseInt(argument, 0, kMaxDelayMs) : std::nullopt)
            return Fault{Fault::Slow, *delay};
        *error = QStringLiteral("slow needs a delay of 0..%1 ms, as in slow:500").arg(kMaxDelayMs);
        return std::nullopt;
    }
    *error = QStringLiteral("unknown fault mode \"%1\"").arg(text);
    return std::nullopt;
}

const QStringList &pipeCommands()
{
    static const QStringList commands = {QStringLiteral("GET_STATUS"), QStringLiteral("SET_AUTOSTART"),
                                         QStringLiteral("STOP_SERVICE")};
    return commands;
}

bool FaultTable::set(const QString &target, const Fault &fault, QString *error)
{
    if (target == QLatin1String("all")) {
        m_busy = fault.kind == Fault::Busy;
        for (const QString &command : pipeCommands())
            m_faults.insert(command, m_busy ? Fault{} : fault);
        return true;
    }
    if (!pipeCommands().contains(target)) {
        *error = QStringLiteral("unknown command \"%1\" (one of %2 or all)")
                     .arg(target, pipeCommands().join(QLatin1Char('|')));
        return false;
    }
    if (fault.kind == Fault::Busy) {
        *error = QStringLiteral("busy turns away every connection before its command is known: use all");
        return false;
    }
    m_faults.insert(target, fault);
    return true;
}

Fault FaultTable::forCommand(const QString &command) const
{
    return m_faults.value(command);
}

QByteArray malformedAnswer(const QByteArray &answer)
{
    return answer.left(qMax<qsizetype>(1, answer.size() / 2));
}

QByteArray oversizeAnswer(QJsonObject answer)
{
    answer.insert(QStringLiteral("padding"), QString(kOversizePadding, QLatin1Char('x')));
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

QList<QByteArray> splitAnswer(const QByteArray &answer, int pieces)
{
    QList<QByteArray> parts;
    const qsizetype count = std::clamp<qsizetype>(pieces, 1, std::max<qsizetype>(1, answer.size()));
    const qsizetype size = answer.size() / count;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype from = i * size;
        parts.append(i + 1 == count ? answer.mid(from) : answer.mid(from, size));
    }
    return parts;
}
