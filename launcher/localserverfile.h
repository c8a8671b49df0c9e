#pragma once

#include <QString>

// Removes the socket file a local server named `serverName` (a full path, as the OS layer
// gives it) left behind when its process died: only a socket that nobody answers on, never a
// regular file or directory, nor a live server's socket. True when removed. Always false where
// servers leave no file behind (named pipes).
bool removeStaleServerFile(const QString &serverName);
