#include "platform/autostart.h"

#include "widestring.h"

#include <windows.h>

namespace platform {

AutostartRemoval removeAutostartEntry(const std::string &valueName)
{
    using Outcome = AutostartRemoval::Outcome;
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE, &key);
    if (opened != ERROR_SUCCESS)
        return {Outcome::OpenFailed, static_cast<ErrorCode>(opened)};
    const std::wstring name = win32::toWide(valueName);
    const LSTATUS deleted = RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
    if (deleted == ERROR_SUCCESS)
        return {Outcome::Removed, 0};
    if (deleted == ERROR_FILE_NOT_FOUND)
        return {Outcome::Absent, 0};
    return {Outcome::DeleteFailed, static_cast<ErrorCode>(deleted)};
}

} // namespace platform
