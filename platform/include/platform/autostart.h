#pragma once

#include "platform/error.h"

#include <string>

namespace platform {

struct AutostartRemoval {
    enum class Outcome {
        Removed,      // the entry was there and is gone
        Absent,       // there was no such entry: nothing to do
        OpenFailed,   // the place of the entries could not be opened for writing (RegOpenKeyExW)
        DeleteFailed, // the entry could not be deleted (RegDeleteValueW)
    };
    Outcome outcome = Outcome::OpenFailed;
    ErrorCode error = 0; // the failed call's error code; 0 unless the outcome is a failure
};

// Deletes the current user's autostart entry `valueName` (UTF-8): the value under
// HKEY_CURRENT_USER "Software\Microsoft\Windows\CurrentVersion\Run" on Windows,
// $XDG_CONFIG_HOME/autostart/<valueName>.desktop on Linux.
AutostartRemoval removeAutostartEntry(const std::string &valueName);

} // namespace platform
