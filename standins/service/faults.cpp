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
constexpr int kMaxTimes = 1000000;

struct NamedKind {
    const char *name;
    Fault::Kind kind;
};

constexpr NamedKind kPlainKinds[] = {
    {"none", Fault::None},     {"malformed", Fault::Malformed}, {"oversize", Fault::Oversize},
    {"close", Fault::Close},   {"silent", Fault::Silent},       {"busy", Fault::Busy},
    {"hangup", Fault::HangUp},
};

bool isPipeWide(Fault::Kind kind)
{
    return kind == Fault::Busy || kind == Fault::HangUp;
}

// The mode without a count.
std::optional<Fault> parseMode(const QString &text, QString *error)
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

} // namespace

QString Fault::text() const
{
    const QString count = times > 0 ? QStringLiteral("*%1").arg(times) : QString();
    switch (kind) {
    case Refuse:
        return QStringLiteral("refuse:%1").arg(value) + count;
    case Split:
        return QStringLiteral("split:%1").arg(value) + count;
    case Slow:
        return QStringLiteral("slow:%1").arg(value) + count;
    default:
        break;
    }
    for (const NamedKind &named : kPlainKinds) {
        if (named.kind == kind)
            return QLatin1String(named.name) + count;
    }
    return QString();
}

std::optional<Fault> parseFault(const QString &text, QString *error)
{
    const qsizetype star = text.indexOf(QLatin1Char('*'));
    if (star < 0)
        return parseMode(text, error);
    std::optional<Fault> fault = parseMode(text.left(star), error);
    if (!fault)
        return std::nullopt;
    const std::optional<int> times = parseInt(text.mid(star + 1), 1, kMaxTimes);
    if (!times || isPipeWide(fault->kind) || fault->kind == Fault::None) {
        *error = QStringLiteral("a count is *1..%1 after a mode other than none, busy or hangup, not \"%2\"")
                     .arg(kMaxTimes)
                     .arg(text);
        return std::nullopt;
    }
    fault->times = *times;
    return fault;
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
        m_pipeWide = isPipeWide(fault.kind) ? fault.kind : Fault::None;
        for (const QString &command : pipeCommands())
            m_faults.insert(command, m_pipeWide != Fault::None ? Fault{} : fault);
        return true;
    }
    if (!pipeCommands().contains(target)) {
        *error = QStringLiteral("unknown command \"%1\" (one of %2 or all)")
                     .arg(target, pipeCommands().join(QLatin1Char('|')));
        return false;
    }
    if (isPipeWide(fault.kind)) {
        *error = QStringLiteral("%1 turns away every connection before its command is known: use all")
                     .arg(fault.text());
        return false;
    }
    m_faults.insert(target, fault);
    return true;
}

Fault FaultTable::take(const QString &command)
{
    const auto it = m_faults.find(command);
    if (it == m_faults.end())
        return Fault{};
    const Fault fault = *it;
    if (it->times > 0 && --it->times == 0)
        m_faults.erase(it);
    return fault;
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
