#pragma once

#include <QString>

#include <optional>

namespace installation {

// The trimmed value of `key` ("section/name") in the INI file `file`; nothing when the key or
// the file is absent. Only a regular file is read: a FIFO or a device named like the file
// would block the caller or never end, so anything else counts as a missing file.
std::optional<QString> iniEntry(const QString &file, const QString &key);

// The text after "=" of `key` as written in `file`: trimmed, up to a comment, with backslashes
// and quotes as they stand; empty when the key or the file is absent.
QString iniTextAsWritten(const QString &file, const QString &key);

// iniEntry(), or the trimmed default.
QString iniValue(const QString &file, const QString &key, const QString &defaultValue);

} // namespace installation
