// Log files: folders made with their parents, files created and appended to, and nothing but a
// regular file written to; the same expectations for every backend.

#include "platform/logfile.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

TEST(LogFileContract, FoldersAreMadeWithTheirParentsAndFilesAppendedTo)
{
    testsupport::TempDir base;
    const std::string folder = (fs::path(base.path()) / "a" / "b").make_preferred().string();
    platform::ErrorCode error = 99;
    ASSERT_TRUE(platform::makeLogDirectory(folder, error));
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(platform::makeLogDirectory(folder, error)) << "an existing folder is fine";
    EXPECT_TRUE(platform::isSafeLogDirectory(folder));

    const std::string path = (fs::path(folder) / "x.log").string();
    for (const char *text : {"one\n", "two\n"}) {
        std::FILE *file = platform::openLogFile(path, error);
        ASSERT_NE(file, nullptr) << error;
        std::fputs(text, file);
        std::fclose(file);
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "one\ntwo\n");

    // A folder where the file should be is not a log file; a file where a folder should be
    // is not a folder.
    EXPECT_EQ(platform::openLogFile(folder, error), nullptr);
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(platform::makeLogDirectory(path, error));
    EXPECT_NE(error, 0u);
}

} // namespace
