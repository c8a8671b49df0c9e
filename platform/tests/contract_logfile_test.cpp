// Log files: folders made with their parents, files created and appended to, and nothing but a
// regular file written to, lines whole or not at all; the same expectations for every backend.

#include "platform/logfile.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdint>
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

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(LogFileContract, ALineGoesInWholeOrNotAtAllAndTheNextOneTriesAfresh)
{
#ifdef _WIN32
    const std::string eol = "\r\n";
#else
    const std::string eol = "\n";
#endif
    testsupport::TempDir folder;
    const std::string path = (fs::path(folder.path()) / "x.log").string();
    platform::ErrorCode error = 99;
    std::FILE *file = platform::openLogFile(path, error);
    ASSERT_NE(file, nullptr) << error;
    ASSERT_TRUE(platform::appendLine(file, "first", error)) << error;
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(contents(path), "first" + eol) << "in the file at once";

    {
        // The disk fills: the next line would fit only in part.
        const testsupport::FileSizeLimit full(static_cast<std::int64_t>(fs::file_size(path)) + 4);
        if (full.active()) {
            EXPECT_FALSE(platform::appendLine(file, "lost for want of room", error));
            EXPECT_NE(error, 0u);
            EXPECT_EQ(contents(path), "first" + eol) << "no part of it stays";
        }
    }
    ASSERT_TRUE(platform::appendLine(file, "second", error)) << error;
    std::fclose(file);
    EXPECT_EQ(contents(path), "first" + eol + "second" + eol);
}

} // namespace
