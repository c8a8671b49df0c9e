#include "platform/servicehost.h"

#include <cerrno>

namespace platform {

struct ServiceHost::State {};

// The Win32 backend keeps the callback, hence by value; here it is never called.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
std::unique_ptr<ServiceHost> ServiceHost::start(const std::string &, std::function<void()>, ErrorCode &error)
{
    error = ENOSYS;
    return nullptr;
}

ServiceHost::ServiceHost(std::unique_ptr<State> state) : m_state(std::move(state))
{
}

ServiceHost::~ServiceHost() = default;

void ServiceHost::stopped()
{
}

} // namespace platform
