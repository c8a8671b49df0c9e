#pragma once

#include <string>

namespace testsupport {

// A name no other test (or test process) uses: stem, process id, a counter and random digits.
std::string uniqueName(const std::string &stem);

} // namespace testsupport
