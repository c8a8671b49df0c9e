#pragma once

#include <QString>

// Names that the programs of one installation share, derived from its identifier or its
// product name. They are composed as they are, without escaping or validation, so that every
// program derives the same text from the same identifier.

namespace installation {

// "\\.\pipe\" + id + "_Service": the background service's pipe.
QString servicePipePath(const QString &id);
// The stand-in service's control channel, a second pipe beside the service's.
QString serviceControlPipePath(const QString &id);
// "Local\" + id + "_DizovuvOdiv": held by the running tray.
QString trayMutexName(const QString &id);
// "Local\" + id + "_TrayExitRequest": set by the tray when the client is to close.
QString exitRequestEventName(const QString &id);
// "Local\" + id + "_LanguageChanged": set by whoever switched the product language.
QString languageEventName(const QString &id);
// "Local\" + id + "_ClientInstance": held by the installation's one client.
QString clientInstanceClaimName(const QString &id);
// "Local\" + id: where the installation's one client serves its name.
QString clientLocalServerName(const QString &id);

// The tray's per-user autostart entry: built from the product name, not the identifier.
QString autostartEntryName(const QString &appName);
// The product name without blanks, lower case, plus the platform's executable suffix.
QString clientProcessName(const QString &appName);

// The programs' log files, in logDirectory() (files.h).
QString trayLogFileName();
QString clientLogFileName();

} // namespace installation
