#include "uniquename.h"

#include "platform/ids.h"

#include <atomic>
#include <random>
#include <sstream>

namespace testsupport {

std::string uniqueName(const std::string &stem)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    std::ostringstream name;
    name << stem << '_' << platform::currentProcessId() << '_' << ++counter << '_' << std::hex << salt;
    return name.str();
}

} // namespace testsupport
