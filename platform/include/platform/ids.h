#pragma once

namespace platform {

// GetCurrentProcessId() / getpid().
unsigned long currentProcessId();

// GetCurrentThreadId() / gettid(): distinct per thread, stable for the thread's life.
unsigned long currentThreadId();

} // namespace platform
