#pragma once

#include <QString>

// The file a local server named `serverName` binds to, or empty where servers leave no file
// behind (named pipes).
QString localServerFile(const QString &serverName);

// Removes the file left by a server whose process died: only a socket that nobody answers
// on, never a regular file or directory, nor a live server's socket. True when removed.
bool removeStaleServerFile(const QString &serverName);
