// The name of a user's local server: the same expectations for every backend.

#include "platform/localserver.h"

#include "testsupport.h"

#include <gtest/gtest.h>

namespace {

#ifndef _WIN32
std::string directoryOf(const std::string &path)
{
    return path.substr(0, path.rfind('/'));
}
#endif

TEST(LocalServerContract, EveryNameStaysInTheUsersOwnPlace)
{
    testsupport::IsolatedEnvironment env;
    platform::ErrorCode error = 1;
    const std::string plain = platform::localServerName("Local\\Orlune", error);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(platform::localServerName("Orlune", error), plain);
    const std::string climbing = platform::localServerName("Local\\../x/y", error);
    EXPECT_EQ(error, 0u);
    const std::string longName = platform::localServerName("Local\\" + std::string(200, 'x'), error);
    EXPECT_EQ(error, 0u);
#ifdef _WIN32
    // Qt serves these under "\\.\pipe\", which takes any character.
    EXPECT_EQ(plain, "Orlune");
    EXPECT_EQ(climbing, "../x/y");
    EXPECT_EQ(longName, std::string(200, 'x'));
#else
    ASSERT_EQ(plain.front(), '/');
    EXPECT_EQ(plain.substr(plain.rfind('/') + 1), "Orlune");
    EXPECT_EQ(directoryOf(climbing), directoryOf(plain));
    EXPECT_EQ(directoryOf(longName), directoryOf(plain));
    EXPECT_LE(longName.size(), 107u); // fits a socket address
#endif

    EXPECT_TRUE(platform::localServerName("Local\\", error).empty());
    EXPECT_NE(error, 0u);
}

} // namespace
