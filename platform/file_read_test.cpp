// Whole-file reads: contents, names outside any ANSI code page, and the files that are refused.
#include "platform/file_read.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class FileReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir =
            fs::temp_directory_path() /
            ("ovn-file-read-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // The UTF-8 path of a file in the test directory holding `bytes`.
    std::string Write(const std::string& utf8Name, const std::string& bytes) {
        const fs::path path = dir / fs::path(reinterpret_cast<const char8_t*>(utf8Name.c_str()));
        std::ofstream(path, std::ios::binary) << bytes;
        return Utf8(path);
    }
    static std::string Utf8(const fs::path& path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }
    fs::path dir;
};

// What kept a read's bytes away; fails the test when the read worked.
platform::FileReadError Failure(
    const ovn::Result<platform::tagFileBytes, platform::FileReadError>& read) {
    EXPECT_FALSE(read) << "the read worked";
    return read ? platform::FileReadError{} : read.error();
}

TEST_F(FileReadTest, ReadsTheWholeFileUnderANameInCyrillicAndCjk) {
    const std::string bytes("\x07\x00\x13\xff", 4);
    const std::string path = Write(
        "\xd0\xbf\xd1\x80\xd0\xbe\xd1\x88\xd0\xb8\xd0\xb2\xd0\xba\xd0\xb0_"
        "\xe5\x9b\xba\xe4\xbb\xb6.xsvf",
        bytes);
    const auto read = platform::ReadWholeFile(path, 4);
    ASSERT_TRUE(read) << read.error().call << " " << read.error().code;
    ASSERT_EQ(read->size, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read->bytes.get()), 4), bytes);

    const auto empty = platform::ReadWholeFile(Write("empty.xsvf", ""), 4);
    ASSERT_TRUE(empty) << empty.error().call;
    EXPECT_EQ(empty->size, 0u);
}

TEST_F(FileReadTest, MissingFilesAndDirectoriesAreNotRead) {
    const platform::FileReadError missing =
        Failure(platform::ReadWholeFile(Utf8(dir / "missing.xsvf"), 100));
    EXPECT_EQ(missing.status, platform::FileReadStatus::kNotFound);
    EXPECT_NE(missing.code, 0u);
    EXPECT_FALSE(platform::FileReadErrorText(missing.code).empty());
    EXPECT_EQ(
        Failure(platform::ReadWholeFile(Utf8(dir / "no-folder" / "missing.xsvf"), 100)).status,
        platform::FileReadStatus::kNotFound);
    // The host opens a directory and refuses it as no regular file; Windows refuses to open it,
    // and its attributes tell the reason apart from a file it may not read.
    const platform::FileReadError folder = Failure(platform::ReadWholeFile(Utf8(dir), 100));
    EXPECT_EQ(folder.status, platform::FileReadStatus::kNotARegularFile);
    EXPECT_TRUE(folder.directory);
}

TEST_F(FileReadTest, FileOverTheLimitIsRefusedBeforeAnythingIsRead) {
    EXPECT_EQ(Failure(platform::ReadWholeFile(Write("five.xsvf", "12345"), 4)).status,
              platform::FileReadStatus::kTooLarge);
    // 2 GiB and one byte, sparse: refused by its size, never allocated.
    const fs::path big = dir / "big.xsvf";
    std::ofstream(big, std::ios::binary).put('x');
    fs::resize_file(big, (std::uint64_t{1} << 31) + 1);
    const platform::FileReadError read = Failure(platform::ReadWholeFile(Utf8(big), 0x7FFFFFFF));
    EXPECT_EQ(read.status, platform::FileReadStatus::kTooLarge);
    EXPECT_EQ(read.size, (std::uint64_t{1} << 31) + 1);
}

}  // namespace
