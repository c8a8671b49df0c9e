#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the messages the code under test writes through Qt's message functions, from any
// thread, exactly as composed (the tray log adds only its prefix to these texts).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Lines as "LEVEL text", LEVEL one of DEBUG, INFO, WARN, CRITICAL; only PipeClient lines.
    QStringList lines() const;
    int count(const QString &fragment) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex mutex;
    QStringList captured;
    QtMessageHandler previous = nullptr;
};
