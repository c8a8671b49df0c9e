#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

#include "faults.h"
#include "statusmodel.h"

// Everything the command line sets.
struct Options {
    QString instanceId = QStringLiteral("Orlune");
    QList<QPair<QString, Fault>> faults;          // in the order given; later ones win
    std::optional<QList<ProcessEntry>> processes; // default: one of each kind
    bool autoStart = false;
    double uptime = 0;
    bool stopExits = true;
    int httpPort = 18080; // 0: no web server
    bool httpOn = true;
    int httpStatus = 2;
    QList<int> httpStatusSequence;
    int httpDelayProbes = 0;
    int superUser = 1;
    bool right1 = true;
    int readTimeoutMs = 5000;
    std::optional<QString> service; // the Windows service name to run as
    std::optional<QString> send;    // client mode: the control command to send
};

struct ParsedOptions {
    Options options;
    bool help = false;
    QString error; // empty when the command line is valid
};

// `arguments` as QCoreApplication::arguments() gives them, the program first.
ParsedOptions parseOptions(const QStringList &arguments);

// The --help text: every option, the fault modes, the control commands and the web server's JSON.
QString helpText();
