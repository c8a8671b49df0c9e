#include "platform/filecontents.h"

#include "widestring.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

bool fail(HANDLE file, ErrorCode code, ErrorCode &error)
{
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    error = code;
    return false;
}

} // namespace

bool readRegularFile(const std::string &path, FileContents &contents, ErrorCode &error)
{
    const std::wstring widePath = win32::toWide(path);
    // Looked at before it is opened: opening a device or a pipe can block or have effects.
    const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return fail(INVALID_HANDLE_VALUE, ::GetLastError(), error);
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return fail(INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER, error);
    const HANDLE file =
        ::CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail(file, ::GetLastError(), error);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info))
        return fail(file, ERROR_INVALID_PARAMETER, error);

    std::string bytes(static_cast<std::size_t>(info.nFileSizeLow) + 1, '\0');
    std::size_t total = 0;
    for (;;) {
        if (total == bytes.size())
            bytes.resize(bytes.size() * 2);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - total, 1u << 20));
        if (!::ReadFile(file, &bytes[total], want, &got, nullptr))
            return fail(file, ::GetLastError(), error);
        if (got == 0)
            break;
        total += got;
    }
    ::CloseHandle(file);
    bytes.resize(total);
    contents.bytes = std::move(bytes);
    contents.modified = static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                                  info.ftLastWriteTime.dwLowDateTime);
    error = 0;
    return true;
}

} // namespace platform
