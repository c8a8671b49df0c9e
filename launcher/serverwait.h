#pragma once

#include <functional>

// Probes the product's web server until it accepts a connection or `timeoutMs` has passed,
// handling events between probes. A probe begun before the limit runs to its end. Gives up
// early, with false, once `stopWaiting` holds after the events were handled.
bool waitForServerReachable(int timeoutMs, const std::function<bool()> &stopWaiting);
