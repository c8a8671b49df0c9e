#include "platform/paths.h"

#include "widestring.h"

#include <windows.h>

#include <cstring>

namespace platform {

namespace {

// The folder part of `path` ("\" and "/" both separate), or empty when its last part is no
// name of an entry. A drive's root keeps its backslash: "C:" alone is a current folder.
std::wstring folderOf(const std::wstring &path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    const std::size_t nameStart = separator == std::wstring::npos ? 0 : separator + 1;
    const std::wstring name = path.substr(nameStart);
    if (name.empty() || name == L"." || name == L".." || name.find(L':') != std::wstring::npos)
        return {};
    if (separator == std::wstring::npos)
        return L".";
    std::wstring folder = path.substr(0, separator);
    if (folder.empty() || (folder.size() == 2 && folder[1] == L':'))
        folder += L'\\';
    return folder;
}

struct FolderIdentity {
    bool valid = false;
    bool hasLongId = false;
    FILE_ID_INFO longId{}; // 128-bit id: the only unique one on ReFS
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

FolderIdentity folderIdentity(const std::wstring &folder)
{
    FolderIdentity identity;
    if (folder.empty())
        return identity;
    // A folder opens only with backup semantics; reading attributes needs no other right.
    HANDLE handle = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        identity.valid = true;
        identity.volume = info.dwVolumeSerialNumber;
        identity.indexHigh = info.nFileIndexHigh;
        identity.indexLow = info.nFileIndexLow;
        identity.hasLongId =
            GetFileInformationByHandleEx(handle, FileIdInfo, &identity.longId, sizeof identity.longId) != 0;
    }
    CloseHandle(handle);
    return identity;
}

} // namespace

bool liesInFolder(const std::string &filePath, const std::string &folder)
{
    const FolderIdentity parent = folderIdentity(folderOf(win32::toWide(filePath)));
    const FolderIdentity wanted = folderIdentity(win32::toWide(folder));
    if (!parent.valid || !wanted.valid)
        return false;
    if (parent.hasLongId && wanted.hasLongId)
        return std::memcmp(&parent.longId, &wanted.longId, sizeof parent.longId) == 0;
    return parent.volume == wanted.volume && parent.indexHigh == wanted.indexHigh &&
           parent.indexLow == wanted.indexLow;
}

} // namespace platform
