#pragma once

// Probes the product's web server until it accepts a connection or `timeoutMs` has passed,
// handling events between probes. A probe begun before the limit runs to its end.
bool waitForServerReachable(int timeoutMs);
