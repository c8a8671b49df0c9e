#include "platform/error.h"

#include <cstring>

namespace platform {

std::string errorText(ErrorCode error)
{
    return std::strerror(static_cast<int>(error));
}

} // namespace platform
