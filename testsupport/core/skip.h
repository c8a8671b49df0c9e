#pragma once

#include <gtest/gtest.h>

// Ends the running test as skipped on Windows, where what it checks has no counterpart; `why`
// names that in one line.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << "not on Windows: " << (why)
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif
