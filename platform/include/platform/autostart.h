#pragma once

#include "platform/error.h"

#include <string>

namespace platform {

struct AutostartRemoval {
    bool keyOpened = false;     // RegOpenKeyExW(HKCU\...\Run, KEY_SET_VALUE) succeeded
    ErrorCode openError = 0;    // its error when it failed
    ErrorCode deleteResult = 0; // RegDeleteValueW's result: 0, 2 (no such value) or another code
};

// Deletes the current user's autostart entry `valueName` (UTF-8): the value under
// HKEY_CURRENT_USER "Software\Microsoft\Windows\CurrentVersion\Run" on Windows,
// $XDG_CONFIG_HOME/autostart/<valueName>.desktop on Linux.
AutostartRemoval removeAutostartEntry(const std::string &valueName);

} // namespace platform
