#pragma once

#include <QString>

// Names the stand-in serves for an installation identifier. The pipe path is built exactly as
// the tray builds it, so a tray whose params.ini names the same identifier finds the stand-in.

// "\\.\pipe\" + instanceId + "_Service"
QString pipePathFor(const QString &instanceId);

// The local server name (a socket path on Linux) that serves that pipe.
QString pipeServerName(const QString &instanceId);

// The stand-in's control channel: a second local server beside the pipe.
QString controlServerName(const QString &instanceId);
