#include "platform/termination.h"

namespace platform {

// Windows GUI programs are ended through their windows; there is no signal to turn into a
// readable descriptor.
int terminationRequestFd()
{
    return -1;
}

} // namespace platform
