#include "platform/autostart.h"

#include "widestring.h"

#include <windows.h>

namespace platform {

AutostartRemoval removeAutostartEntry(const std::string &valueName)
{
    AutostartRemoval result;
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE, &key);
    if (opened != ERROR_SUCCESS) {
        result.openError = static_cast<ErrorCode>(opened);
        return result;
    }
    result.keyOpened = true;
    const std::wstring name = win32::toWide(valueName);
    result.deleteResult = static_cast<ErrorCode>(RegDeleteValueW(key, name.c_str()));
    RegCloseKey(key);
    return result;
}

} // namespace platform
