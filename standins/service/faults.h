#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How the stand-in misbehaves when it answers a pipe request. A refused, dropped or unanswered
// request does nothing; the other faults only spoil the answer of a command carried out.
struct Fault {
    enum Kind { None, Refuse, Malformed, Oversize, Split, Close, Silent, Slow, Busy };

    Kind kind = None;
    // Refuse: the "ret" to answer; Split: the pause between pieces in ms; Slow: the delay in ms.
    int value = 0;

    // The mode as the options spell it, e.g. "refuse:1" or "slow:500".
    QString text() const;
};

// "none", "refuse[:RET]", "malformed", "oversize", "split[:MS]", "close", "silent", "slow:MS",
// "busy".
std::optional<Fault> parseFault(const QString &text, QString *error);

// The commands of the pipe protocol, as they appear in "cmd".
const QStringList &pipeCommands();

// The fault of each command. Busy concerns the whole pipe, since a connection is turned away
// before its command is known, so it is only accepted for "all".
class FaultTable {
public:
    // target: a command of pipeCommands() or "all". "all" replaces every command's fault and
    // is the only way to switch busy on or off.
    bool set(const QString &target, const Fault &fault, QString *error);
    Fault forCommand(const QString &command) const;
    bool busy() const { return m_busy; }

private:
    QHash<QString, Fault> m_faults;
    bool m_busy = false;
};

// The answer cut in half: never a complete JSON text.
QByteArray malformedAnswer(const QByteArray &answer);

// The answer padded with a "padding" member to well over the 4095 bytes a client reads at once;
// still one valid JSON object.
QByteArray oversizeAnswer(QJsonObject answer);

// The answer in `pieces` consecutive parts (fewer when it is shorter); joined they give it back.
QList<QByteArray> splitAnswer(const QByteArray &answer, int pieces);
