#pragma once

#include <QString>

// The local servers the stand-in serves for an installation identifier: the service's pipe and
// the stand-in's control channel, named by the installation contract, so a tray whose
// params.ini names the same identifier finds the stand-in.

// The local server name (a socket path on Linux) that serves the service's pipe.
QString pipeServerName(const QString &instanceId);

// The stand-in's control channel: a second local server beside the pipe.
QString controlServerName(const QString &instanceId);
