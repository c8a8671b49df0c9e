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
    enum Kind { None, Refuse, Malformed, Oversize, Split, Close, Silent, Slow, Busy, HangUp };

    Kind kind = None;
    // Refuse: the "ret" to answer; Split: the pause between pieces in ms; Slow: the delay in ms.
    int value = 0;
    // How many more requests of the command it spoils before the command answers normally
    // again; 0: until it is changed.
    int times = 0;

    // The mode as the options spell it, e.g. "refuse:1", "slow:500" or "close*3".
    QString text() const;
};

// "none", "refuse[:RET]", "malformed", "oversize", "split[:MS]", "close", "silent", "slow:MS",
// "busy", "hangup"; any but the last two optionally followed by "*N", for the next N requests.
std::optional<Fault> parseFault(const QString &text, QString *error);

// The commands of the pipe protocol, as they appear in "cmd".
const QStringList &pipeCommands();

// The fault of each command. Busy and hangup concern the whole pipe, since a connection is
// turned away before its command is known, so they are only accepted for "all".
class FaultTable {
public:
    // target: a command of pipeCommands() or "all". "all" replaces every command's fault (a
    // count then applies to each command on its own) and is the only way to switch busy or
    // hangup on or off.
    bool set(const QString &target, const Fault &fault, QString *error);
    // The fault for one request of `command`, as set; a counted fault counts down and, used
    // up, leaves the command answering normally.
    Fault take(const QString &command);
    bool busy() const { return m_pipeWide == Fault::Busy; }
    bool hangUp() const { return m_pipeWide == Fault::HangUp; }

private:
    QHash<QString, Fault> m_faults;
    Fault::Kind m_pipeWide = Fault::None;
};

// The answer cut in half: never a complete JSON text.
QByteArray malformedAnswer(const QByteArray &answer);

// The answer padded with a "padding" member to well over the 4095 bytes a client reads at once;
// still one valid JSON object.
QByteArray oversizeAnswer(QJsonObject answer);

// The answer in `pieces` consecutive parts (fewer when it is shorter); joined they give it back.
QList<QByteArray> splitAnswer(const QByteArray &answer, int pieces);
