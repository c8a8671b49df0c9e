#pragma once

#include <gtest/gtest.h>

namespace testsupport {

// Whether this Windows program runs under Wine rather than on Windows.
bool runningUnderWine();

} // namespace testsupport

// Ends the running test as skipped on Windows, where what it checks has no counterpart; `why`
// names that in one line.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << "not on Windows: " << (why)
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

// Ends the running test as skipped under Wine, which cannot show what it checks although
// Windows would; `why` names the limit and the evidence in one line.
#define SKIP_UNDER_WINE(why)                                                                                 \
    if (testsupport::runningUnderWine())                                                                     \
    GTEST_SKIP() << "Wine limit: " << (why)
