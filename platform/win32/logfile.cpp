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

std::string localPathToUtf8(const std::string &path)
{
    return win32::toUtf8(win32::toWide(path, CP_ACP));
}

std::FILE *openLogFile(const std::string &path, ErrorCode &error)
{
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
    // Append-only (no FILE_WRITE_DATA): every write lands at the end, whoever else appends.
    HANDLE handle = CreateFileW(win32::toWide(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
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

namespace {

// Cuts the file back to `start`, where a line of which only `written` bytes went in began,
// unless another writer has appended after that part: its line stays whole. The append-only
// handle cannot shorten the file; a second handle to the same file, opened from it, can.
void cutOffPart(HANDLE handle, LONGLONG start, DWORD written)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart != start + written)
        return;
    HANDLE writer =
        ReOpenFile(handle, FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (writer == INVALID_HANDLE_VALUE)
        return;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = start;
    SetFileInformationByHandle(writer, FileEndOfFileInfo, &end, sizeof end);
    CloseHandle(writer);
}

} // namespace

bool appendLine(std::FILE *file, const std::string &text, ErrorCode &error)
{
    const intptr_t osHandle = file != nullptr ? _get_osfhandle(_fileno(file)) : -1;
    if (osHandle == -1) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(osHandle);
    const std::string line = text + "\r\n";
    LARGE_INTEGER before{};
    const bool sized = GetFileSizeEx(handle, &before) != 0;
    DWORD written = 0;
    const BOOL ok = WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (ok && written == line.size()) {
        error = 0;
        return true;
    }
    error = ok ? ERROR_DISK_FULL : GetLastError();
    if (written > 0 && sized)
        cutOffPart(handle, before.QuadPart, written);
    return false;
}

} // namespace platform
