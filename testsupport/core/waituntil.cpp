#include "waituntil.h"

#include <chrono>
#include <thread>

namespace testsupport {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs,
               const std::function<void()> &betweenPolls)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        if (betweenPolls)
            betweenPolls();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace testsupport
