#pragma once

#include "platform/error.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

// Runs the calling program as a system service. On Windows it connects the process to the
// service control manager under `name` (StartServiceCtrlDispatcherW, on a thread of its own so
// the caller keeps its main thread), reports the service running, and passes the manager's
// stop or shutdown request to `onStop` (called on another thread; it should only ask the
// program to end). The program calls stopped() once it has finished; the manager then sees the
// service stopped. Linux has no such manager: start() fails there.
class ServiceHost {
public:
    // Null, with the error, when the process was not started by the manager (Windows error
    // 1063) or the system has none.
    static std::unique_ptr<ServiceHost> start(const std::string &name, std::function<void()> onStop,
                                              ErrorCode &error);

    ServiceHost(const ServiceHost &) = delete;
    ServiceHost &operator=(const ServiceHost &) = delete;
    ~ServiceHost(); // stopped()

    void stopped();

    struct State;

private:
    explicit ServiceHost(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

} // namespace platform
