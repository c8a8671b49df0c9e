#include "values.h"

#include <cmath>

std::optional<bool> parseBool(const QString &text)
{
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

std::optional<int> parseInt(const QString &text, int min, int max)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<QList<int>> parseIntList(const QString &text, int min, int max)
{
    QList<int> values;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const std::optional<int> value = parseInt(item, min, max);
        if (!value)
            return std::nullopt;
        values.append(*value);
    }
    return values;
}

std::optional<double> parseNumber(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}
