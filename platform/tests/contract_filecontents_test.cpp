// Whole-file reads: every byte of a regular file under any name, a stamp that follows the
// file's modification time, and nothing read from anything but a regular file.

#include "platform/filecontents.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(FileContentsContract, RegularFilesAreReadWholeAndNothingElseIs)
{
    testsupport::TempDir base;
    // Non-ASCII in the name, NUL bytes and more than one read's worth of text.
    const fs::path file = fs::path(base.path()) / fs::u8path(u8"paràms.ini");
    std::string bytes = std::string("[product]\0x\n", 12) + std::string(200000, 'k');
    std::ofstream(file, std::ios::binary) << bytes;

    platform::FileContents contents;
    platform::ErrorCode error = 99;
    ASSERT_TRUE(platform::readRegularFile(file.u8string(), contents, error)) << error;
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(contents.bytes, bytes);

    fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(10));
    platform::FileContents later;
    ASSERT_TRUE(platform::readRegularFile(file.u8string(), later, error));
    EXPECT_EQ(later.bytes, bytes);
    EXPECT_NE(later.modified, contents.modified);

    for (const fs::path &other : {fs::path(base.path()), fs::path(base.path()) / "missing.ini"}) {
        platform::FileContents none;
        EXPECT_FALSE(platform::readRegularFile(other.u8string(), none, error)) << other;
        EXPECT_NE(error, 0u);
        EXPECT_TRUE(none.bytes.empty());
    }
}

} // namespace
