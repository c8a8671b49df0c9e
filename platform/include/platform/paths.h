#pragma once

#include <string>

namespace platform {

// Whether `filePath` names an entry directly inside the folder `folder` (both UTF-8). The two
// folders are told apart as the system tells them apart: by identity (volume and file id on
// Windows, device and inode on Linux), so every spelling of one folder counts as that folder:
// other letter case on Windows, "." and "..", doubled or trailing separators, links. False when
// either folder cannot be opened.
bool liesInFolder(const std::string &filePath, const std::string &folder);

} // namespace platform
