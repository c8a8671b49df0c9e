#include "platform/logfile.h"

#include "widestring.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace platform {

bool makeLogDirectory(const std::string &path, ErrorCode &error)
{
    error = 0;
    const std::wstring wide = win32::toWide(path);
    for (std::size_t end = wide.find_first_of(L"\\/", 3);; end = wide.find_first_of(L"\\/", end + 1)) {
        const std::wstring level = wide.substr(0, end);
        if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            error = GetLastError();
        if (end == std::wstring::npos)
            break;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (error == 0)
            error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    error = 0;
    return true;
}

bool isSafeLogDirectory(const std::string &)
{
    return true;
}

std::FILE *openLogFile(const std::string &path, ErrorCode &error)
{
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
    HANDLE handle = CreateFileW(win32::toWide(path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        error = ERROR_CANT_ACCESS_FILE;
        CloseHandle(handle);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        error = ERROR_INVALID_HANDLE;
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *file = _fdopen(fd, "ab");
    if (file == nullptr) {
        error = ERROR_INVALID_HANDLE;
        _close(fd);
        return nullptr;
    }
    error = 0;
    return file;
}

} // namespace platform
