#pragma once

#include <string>

namespace platform::win32 {

// UTF-8 <-> UTF-16 for the wide Win32 calls. Invalid input sequences become U+FFFD rather
// than failing, so a bad name still reaches the call and fails there with its own error.
std::wstring toWide(const std::string &utf8);
// The same from text in another code page (CP_ACP: the local 8-bit encoding).
std::wstring toWide(const std::string &text, unsigned int codePage);
std::string toUtf8(const std::wstring &wide);
std::string toUtf8(const wchar_t *wide); // null-terminated; nullptr gives ""

} // namespace platform::win32
