#pragma once

#include <string>

namespace platform {

// The numeric code of the last failure, as the product logs it: GetLastError() on Windows,
// errno on Linux. 0 means no failure.
using ErrorCode = unsigned long;

// The system's text for `error` (strerror on Linux, FormatMessage on Windows), one line.
std::string errorText(ErrorCode error);

} // namespace platform
