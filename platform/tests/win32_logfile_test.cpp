// A full disk as the Win32 backend's writes meet it. Only the host can limit a process's file
// size, so this runs under the limit its own ctest entry sets (ORLUNE_TEST_FILE_SIZE_LIMIT names
// it): past the limit a write takes what fits and the rest is refused, as on a disk that fills.
#include "platform/logfile.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TEST(Win32LogFile, APartThatWentInIsCutOffAndTheNextLineGoesInWholeOnceThereIsRoom)
{
    const char *limitText = std::getenv("ORLUNE_TEST_FILE_SIZE_LIMIT");
    if (limitText == nullptr)
        GTEST_SKIP() << "runs under the file-size limit of its own ctest entry";
    const std::uintmax_t limit = std::strtoull(limitText, nullptr, 10);
    testsupport::TempDir folder;
    const std::string path = (fs::path(folder.path()) / "full.log").string();
    std::ofstream(path, std::ios::binary) << std::string(static_cast<std::size_t>(limit - 4), 'x');

    platform::ErrorCode error = 0;
    std::FILE *file = platform::openLogFile(path, error);
    ASSERT_NE(file, nullptr) << error;
    EXPECT_FALSE(platform::appendLine(file, "only four bytes of this fit", error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ERROR_DISK_FULL));
    EXPECT_EQ(fs::file_size(path), limit - 4) << "the part that went in is cut off again";

    // Room again: the old content goes.
    fs::resize_file(path, 0);
    EXPECT_TRUE(platform::appendLine(file, "whole", error)) << error;
    std::fclose(file);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "whole\r\n");
}
