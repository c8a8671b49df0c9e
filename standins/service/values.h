#pragma once

#include <QList>
#include <QString>

#include <optional>

// Parsers for the values of command-line options and control commands; nullopt when the text
// is not a valid value.

// "true" or "false" (also "1" and "0").
std::optional<bool> parseBool(const QString &text);

// A decimal integer within [min, max].
std::optional<int> parseInt(const QString &text, int min, int max);

// A comma-separated, non-empty list of decimal integers within [min, max].
std::optional<QList<int>> parseIntList(const QString &text, int min, int max);

// A finite decimal number (uptime values may be fractional or huge on purpose).
std::optional<double> parseNumber(const QString &text);
