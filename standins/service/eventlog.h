#pragma once

#include <QString>

// One line per event on standard output, flushed at once, so whoever started the stand-in
// (a test, a shell script) can follow it line by line.
void printEvent(const QString &line);

// A failure that ends the program or the command, on standard error.
void printError(const QString &line);
