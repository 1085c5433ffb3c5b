// The working folder of the simulated machine: made admin-only, kept, and moved aside when someone
// else could have changed it.
#include "platform/working_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "text/text_encoding.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class WorkingFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = fs::temp_directory_path() / ("ovn-wf-" + std::to_string(getpid()));
        fs::remove_all(state_);
        fs::create_directories(state_);
        setenv("OVN_SIM_STATE", state_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("OVN_SIM_STATE");
        fs::remove_all(state_);
    }
    fs::path Folder() const { return state_ / "ProgramData" / "Orvane" / "OvnK740FpgaUpdater"; }
    fs::path state_;
};

}  // namespace

TEST_F(WorkingFolderTest, CreatedOnceWithItsModeAndKeptUntouchedAfterwards) {
    const platform::WorkingFolderResult first = platform::PrepareWorkingFolder();
    ASSERT_TRUE(first) << first.error().call;
    EXPECT_EQ(first->path, Utf8ToWide(Folder().string()) + L"/");
    EXPECT_TRUE(first->events.empty());
    struct stat info {};
    ASSERT_EQ(stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    const platform::WorkingFolderResult again = platform::PrepareWorkingFolder();
    ASSERT_TRUE(again) << again.error().call;
    EXPECT_EQ(again->path, first->path);
    EXPECT_TRUE(again->events.empty());
}

TEST_F(WorkingFolderTest, ALinkOrAWritableLevelIsMovedAsideAndTheFolderMadeAfresh) {
    const fs::path elsewhere = state_ / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(state_ / "ProgramData");
    fs::create_directory_symlink(elsewhere, state_ / "ProgramData" / "Orvane");
    platform::WorkingFolderResult folder = platform::PrepareWorkingFolder();
    ASSERT_TRUE(folder) << folder.error().call;
    ASSERT_EQ(folder->events.size(), 1u);
    EXPECT_NE(folder->events[0].find(L"symbolic link"), std::wstring::npos);
    EXPECT_FALSE(fs::is_symlink(state_ / "ProgramData" / "Orvane"));
    EXPECT_TRUE(fs::is_empty(elsewhere));

    chmod(Folder().c_str(), 0777);
    folder = platform::PrepareWorkingFolder();
    ASSERT_TRUE(folder) << folder.error().call;
    ASSERT_EQ(folder->events.size(), 1u);
    EXPECT_NE(folder->events[0].find(L"it lets others (group "), std::wstring::npos)
        << WideToUtf8(folder->events[0]);
    EXPECT_NE(folder->events[0].find(L"moved aside"), std::wstring::npos);
}

TEST_F(WorkingFolderTest, NoFolderWhenNeitherTheFolderNorAPlaceForItCanBeHad) {
    std::ofstream(state_ / "ProgramData") << "a file";
    const platform::WorkingFolderResult folder = platform::PrepareWorkingFolder();
    ASSERT_FALSE(folder);
    EXPECT_FALSE(folder.error().call.empty());
    EXPECT_EQ(WideToUtf8(folder.error().inTheWayFault), "it is a file, not a folder");
}
#endif
