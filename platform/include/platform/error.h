#pragma once

namespace platform {

// The numeric code of the last failure, as the product logs it: GetLastError() on Windows,
// errno on Linux. 0 means no failure.
using ErrorCode = unsigned long;

} // namespace platform
