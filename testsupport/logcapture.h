#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the messages the code under test writes through Qt's message functions, from any
// thread, exactly as composed, while it exists. One capture at a time.
class LogCapture {
public:
    enum class Levels { Omitted, Prefixed };

    // Keeps only the messages that start with `source` (quoted or not: a string streamed as one
    // item arrives in quotes), or every message when it is empty. With Levels::Prefixed a line
    // reads "LEVEL message", LEVEL one of DEBUG, INFO, WARN, CRITICAL.
    explicit LogCapture(QString source = QString(), Levels levels = Levels::Omitted);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    QStringList linesStartingWith(const QString &prefix) const;
    // Lines that contain `fragment`.
    int count(const QString &fragment) const;
    // Lines that are exactly `line`.
    int countExactly(const QString &line) const;
    // All lines, one a line, for failure output.
    QString dump() const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    const QString source;
    const Levels levels;
    QStringList captured;
    QtMessageHandler previous = nullptr;
};
