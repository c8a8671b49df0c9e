#include "inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace installation {

namespace {

// The text after "=" of `key`'s last line in its section, up to a comment, as written.
QString rawIniValue(const QString &file, const QString &key)
{
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    const QString section = slash < 0 ? QStringLiteral("General") : key.left(slash);
    const QString name = key.mid(slash + 1);
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return QString();
    QString current = QStringLiteral("General");
    QString value;
    for (const QByteArray &rawLine : in.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0 || current != section || line.left(equals).trimmed() != name)
            continue;
        value = line.mid(equals + 1);
        bool quoted = false;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value.at(i) == QLatin1Char('"'))
                quoted = !quoted;
            else if (value.at(i) == QLatin1Char(';') && !quoted)
                value.truncate(i);
        }
    }
    return value.trimmed();
}

} // namespace

bool isRegularFile(const QString &file)
{
    return QFileInfo(file).isFile();
}

QString iniValue(const QString &file, const QString &key, const QString &defaultValue)
{
    if (!isRegularFile(file))
        return defaultValue.trimmed();
    const QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(key, defaultValue);
    // An unquoted comma makes QSettings split the text into a list; every other reader of the
    // file takes the text as written, so names derived from it must too.
    if (value.metaType().id() == QMetaType::QStringList)
        return rawIniValue(file, key);
    return value.toString().trimmed();
}

} // namespace installation
