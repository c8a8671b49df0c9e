#pragma once

#include <atomic>

// Bodies of the client's two background threads.

// Ends the first running performance-counter logger of the system, once, and gives it time to
// let go of what it held.
void killTypeperfProcess();
// Idles until `stop` is set; lives from the login to the end of the main event loop.
void idleWorkerLoop(const std::atomic<bool> &stop);
