#include "widestring.h"

#include <windows.h>

#include <climits>
#include <cwchar>

namespace platform::win32 {

std::wstring toWide(const std::string &utf8)
{
    return toWide(utf8, CP_UTF8);
}

std::wstring toWide(const std::string &text, unsigned int codePage)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int inLength = static_cast<int>(text.size());
    const int outLength = MultiByteToWideChar(codePage, 0, text.data(), inLength, nullptr, 0);
    if (outLength <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(outLength), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), inLength, wide.data(), outLength);
    return wide;
}

static std::string toUtf8(const wchar_t *wide, std::size_t length)
{
    if (length == 0 || length > static_cast<std::size_t>(INT_MAX))
        return {};
    const int inLength = static_cast<int>(length);
    const int outLength = WideCharToMultiByte(CP_UTF8, 0, wide, inLength, nullptr, 0, nullptr, nullptr);
    if (outLength <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(outLength), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, inLength, utf8.data(), outLength, nullptr, nullptr);
    return utf8;
}

std::string toUtf8(const std::wstring &wide)
{
    return toUtf8(wide.data(), wide.size());
}

std::string toUtf8(const wchar_t *wide)
{
    return wide ? toUtf8(wide, std::wcslen(wide)) : std::string();
}

} // namespace platform::win32
