#include "platform/localserver.h"

#include <windows.h>

namespace platform {

namespace {

const std::string kLocalPrefix = "Local\\";

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool hasLocalPrefix(const std::string &name)
{
    if (name.size() < kLocalPrefix.size())
        return false;
    for (std::size_t i = 0; i < kLocalPrefix.size(); ++i) {
        if (asciiLower(name[i]) != asciiLower(kLocalPrefix[i]))
            return false;
    }
    return true;
}

} // namespace

std::string localServerName(const std::string &objectName, ErrorCode &error)
{
    std::string name = hasLocalPrefix(objectName) ? objectName.substr(kLocalPrefix.size()) : objectName;
    error = name.empty() ? ERROR_INVALID_NAME : 0;
    return name;
}

} // namespace platform
