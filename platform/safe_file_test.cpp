// Link-safe writes: what they write, and that a link or a second name in the file's place is
// refused without touching what it points to.
#include "platform/safe_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/environment.h"
#include "text/text_encoding.h"

namespace {

namespace fs = std::filesystem;

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ovn-safe-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::wstring Path(const char* name) const { return Utf8ToWide((dir_ / name).string()); }
    std::string Bytes(const char* name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    fs::path dir_;
};

}  // namespace

TEST_F(SafeFileTest, ReplaceEmptiesFirstAppendAddsAndHoldReadsBack) {
    ASSERT_TRUE(platform::WriteFileSafely(Path("a.txt"), "longer text", 11));
    ASSERT_TRUE(platform::WriteFileSafely(Path("a.txt"), "short", 5));
    EXPECT_EQ(Bytes("a.txt"), "short");
    auto append = platform::SafeFile::Open(Path("a.txt"), platform::SafeOpenMode::kAppend);
    ASSERT_TRUE(append);
    ASSERT_TRUE((*append)->Write("+more", 5));
    append = platform::FileFailure("closed", 0);
    auto held = platform::SafeFile::Open(Path("a.txt"), platform::SafeOpenMode::kHold);
    ASSERT_TRUE(held);
    const auto content = (*held)->ReadAll();
    ASSERT_TRUE(content);
    EXPECT_EQ(std::string(content->begin(), content->end()), "short+more");
    const auto missing = platform::SafeFile::Open(Path("missing"), platform::SafeOpenMode::kHold);
    ASSERT_FALSE(missing);
    EXPECT_FALSE(missing.error().refused()) << "a missing file is no link";
    EXPECT_NE(missing.error().code, 0u) << missing.error().call;
}

TEST_F(SafeFileTest, AHardLinkIsRefusedAndItsOtherNameKeepsItsBytes) {
    std::ofstream(dir_ / "victim.ini") << "victim";
    fs::create_hard_link(dir_ / "victim.ini", dir_ / "planted.txt");
    const platform::FileStatus written =
        platform::WriteFileSafely(Path("planted.txt"), "attack", 6);
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().refused()) << written.error().call;
    const platform::FileStatus appended = platform::AppendTextFile(Path("planted.txt"), "attack\n");
    ASSERT_FALSE(appended);
    EXPECT_EQ(appended.error().refusal, platform::FileRefusal::kLink) << appended.error().call;
    EXPECT_EQ(Bytes("victim.ini"), "victim");
    // In a folder only administrators change, the planted name goes and the write is done.
    const platform::FileStatus replaced =
        platform::ReplaceFileSafely(Path("planted.txt"), "mine", 4);
    ASSERT_TRUE(replaced) << replaced.error().call;
    EXPECT_EQ(Bytes("planted.txt"), "mine");
    EXPECT_EQ(Bytes("victim.ini"), "victim");
}

TEST_F(SafeFileTest, ANameThatIsGoneIsRemovedAlreadyButCannotBeMovedAside) {
    std::ofstream(dir_ / "old.txt") << "old";
    ASSERT_TRUE(platform::RemoveFileName(Path("old.txt")));
    EXPECT_FALSE(fs::exists(dir_ / "old.txt"));
    EXPECT_TRUE(platform::RemoveFileName(Path("old.txt"))) << "a name that is gone is no error";
    const platform::FileStatus aside = platform::MoveFileNameAside(Path("old.txt"));
    ASSERT_FALSE(aside);
    EXPECT_FALSE(aside.error().call.empty());
    EXPECT_NE(aside.error().code, 0u) << aside.error().call;
}

#ifndef _WIN32
// Wine creates no symbolic links from Windows calls; the Wine runs plant them from outside.
TEST_F(SafeFileTest, ASymbolicLinkInTheFilesPlaceOrOnTheWayIsRefused) {
    std::ofstream(dir_ / "victim.ini") << "victim";
    fs::create_symlink(dir_ / "victim.ini", dir_ / "link.txt");
    for (auto mode : {platform::SafeOpenMode::kReplace, platform::SafeOpenMode::kAppend,
                      platform::SafeOpenMode::kHold}) {
        const auto opened = platform::SafeFile::Open(Path("link.txt"), mode);
        ASSERT_FALSE(opened);
        EXPECT_TRUE(opened.error().refused()) << opened.error().call;
    }
    EXPECT_EQ(Bytes("victim.ini"), "victim");
    ASSERT_TRUE(platform::ReplaceFileSafely(Path("link.txt"), "mine", 4));
    EXPECT_FALSE(fs::is_symlink(dir_ / "link.txt"));
    EXPECT_EQ(Bytes("victim.ini"), "victim");
}
#endif
