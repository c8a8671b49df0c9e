#pragma once

#include "platform/error.h"

#include <string>

namespace platform {

// The name a local server of this user (Qt's QLocalServer and QLocalSocket) uses for the
// object "Local\NAME" (the prefix may be left out).
// Linux: the full path of its socket in the per-user runtime directory, the file named like
// every other object there, so no name leaves that directory and no other user can take or
// plant it. Empty, with `error` set, when that directory is refused or the name is empty.
// Windows: NAME itself, which Qt serves as the pipe "\\.\pipe\NAME".
std::string localServerName(const std::string &objectName, ErrorCode &error);

} // namespace platform
