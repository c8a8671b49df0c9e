#pragma once

#include <QString>
#include <QtGlobal>

// The tray's log file "DizovuvOdiv.log": every Qt message of the process, one line each,
// also passed on to the handler that was installed before.

enum class LogRotation {
    Allowed, // a full log is moved to ".1" before opening
    Skipped, // another instance may be writing the file: it is only appended to
};

// Opens the log in the first usable directory and installs logMessageHandler. Returns the
// full path of the open file, or an empty string when no directory was usable.
QString setupLog(LogRotation rotation = LogRotation::Allowed);

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// Restores the previous handler, then flushes and closes the file.
void shutdownLog();
