// The service host outside the service manager: a program started from a console or a test is
// told so at once (the manager's own error), never left waiting, and its stop handler never runs.
#include "platform/servicehost.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(Win32ServiceHost, RefusesAProcessTheManagerDidNotStart)
{
    bool stopCalled = false;
    platform::ErrorCode error = 0;
    const std::unique_ptr<platform::ServiceHost> host = platform::ServiceHost::start(
        "OrluneNotAService", [&stopCalled] { stopCalled = true; }, error);
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    EXPECT_FALSE(stopCalled);
}
