#pragma once

#include <QString>

// The product's background service, asked and started with the system's stock commands.
// Each call may block for up to 30 seconds per command.

// True when the query command's output says the service runs; false also when the command is
// missing, fails or does not finish in time.
bool isServiceRunning(const QString &serviceName);
// Starts the service; the outcome is not examined.
void startService(const QString &serviceName);
