#include "inifile.h"

#include "platform/filecontents.h"

#include <QHash>
#include <QMutex>
#include <QSettings>

namespace installation {

namespace {

// One file as last read, and what was found in it for each key asked so far. The file is read
// on every call; only unchanged contents reuse what QSettings found, which keeps the reading
// of a short-lived thread free of QObjects and of QSettings' own file checks.
struct Snapshot {
    platform::FileContents contents;
    QHash<QString, std::optional<QString>> entries;
    QHash<QString, QString> written;
};

QMutex snapshotMutex;
QHash<QString, Snapshot> snapshots;

// The text after "=" of `key`'s last line in its section, up to a comment, as written.
QString rawIniValue(const std::string &text, const QString &key)
{
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    const QString section = slash < 0 ? QStringLiteral("General") : key.left(slash);
    const QString name = key.mid(slash + 1);
    QString current = QStringLiteral("General");
    QString value;
    for (const QByteArray &rawLine : QByteArray::fromStdString(text).split('\n')) {
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

std::optional<QString> parseEntry(const QString &file, const std::string &text, const QString &key)
{
    const QSettings settings(file, QSettings::IniFormat);
    if (!settings.contains(key))
        return std::nullopt;
    const QVariant value = settings.value(key);
    // An unquoted comma makes QSettings split the text into a list; every other reader of the
    // file takes the text as written, so names derived from it must too.
    if (value.metaType().id() == QMetaType::QStringList)
        return rawIniValue(text, key);
    return value.toString().trimmed();
}

// What `file` says now; nothing when it cannot be read.
std::optional<platform::FileContents> readFile(const QString &file)
{
    platform::FileContents contents;
    platform::ErrorCode error = 0;
    if (!platform::readRegularFile(file.toStdString(), contents, error))
        return std::nullopt;
    return contents;
}

// The snapshot of `file` for `contents`, kept while they stay the same. The caller holds
// snapshotMutex.
Snapshot &snapshotFor(const QString &file, platform::FileContents &&contents)
{
    Snapshot &snapshot = snapshots[file];
    // The stamp counts too: QSettings keeps its own copy of a file, which it reads again only
    // when the size or the modification time changed.
    if (snapshot.contents.bytes != contents.bytes || snapshot.contents.modified != contents.modified)
        snapshot = Snapshot{std::move(contents), {}, {}};
    return snapshot;
}

} // namespace

std::optional<QString> iniEntry(const QString &file, const QString &key)
{
    std::optional<platform::FileContents> contents = readFile(file);
    if (!contents)
        return std::nullopt;
    const QMutexLocker locker(&snapshotMutex);
    Snapshot &snapshot = snapshotFor(file, std::move(*contents));
    auto found = snapshot.entries.constFind(key);
    if (found == snapshot.entries.constEnd())
        found = snapshot.entries.insert(key, parseEntry(file, snapshot.contents.bytes, key));
    return *found;
}

QString iniTextAsWritten(const QString &file, const QString &key)
{
    std::optional<platform::FileContents> contents = readFile(file);
    if (!contents)
        return QString();
    const QMutexLocker locker(&snapshotMutex);
    Snapshot &snapshot = snapshotFor(file, std::move(*contents));
    auto found = snapshot.written.constFind(key);
    if (found == snapshot.written.constEnd())
        found = snapshot.written.insert(key, rawIniValue(snapshot.contents.bytes, key));
    return *found;
}

QString iniValue(const QString &file, const QString &key, const QString &defaultValue)
{
    return iniEntry(file, key).value_or(defaultValue.trimmed());
}

} // namespace installation
