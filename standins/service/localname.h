#pragma once

#include <QString>

// Makes `name` free for a QLocalServer. A name left behind by a killed process is removed; a
// name that another live process serves is not taken over (false, with the reason).
bool claimServerName(const QString &name, QString *error);
