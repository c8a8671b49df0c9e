#pragma once

// Exit codes of the client besides the event loop's own result.
constexpr int kSilentStopExitCode = 0;
constexpr int kRefusedStartExitCode = -1;
// The main frame ends the event loop with this code to have the client started again.
constexpr int kRestartExitCode = 773;

// The client from start to end: environment, single instance, service, log, SDK, server,
// login, main frame and, when asked for, a restart. Returns the process's exit code.
int runClient(int &argc, char **argv);
