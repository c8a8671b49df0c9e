#pragma once

#include <QString>

namespace installation {

// Only a regular file is read: a FIFO or a device named like the file would block the caller
// or never end. Anything else counts as a missing file.
bool isRegularFile(const QString &file);

// The trimmed value of `key` ("section/name") in the INI file `file`, the trimmed default when
// the key or the file is absent.
QString iniValue(const QString &file, const QString &key, const QString &defaultValue);

} // namespace installation
