// Whole-file replacement of the host edition: a new file takes the name whatever was planted there,
// and a power cut before the rename leaves the old whole file and a leftover the next write clears.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "text/text_encoding.h"

namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ovn-atomic-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::wstring Path(const std::string& name) const { return Utf8ToWide((dir_ / name).string()); }
    std::string Bytes(const fs::path& file) const {
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    fs::path Plant(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return dir_ / name;
    }
    struct stat Stat(const std::string& name) const {
        struct stat info {};
        EXPECT_EQ(lstat((dir_ / name).c_str(), &info), 0) << name;
        return info;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += name + " ";
    return text;
}

}  // namespace

TEST_F(AtomicFileTest, APlantedFileLinkOrSecondNameLosesTheNameToANewFileAndIsNotWritten) {
    // Someone else's file with another mode, a symbolic link and a second name of another file.
    Plant("planted.bin", "planted by the operator");
    chmod((dir_ / "planted.bin").c_str(), 0666);
    const ino_t plantedInode = Stat("planted.bin").st_ino;
    const fs::path victim = Plant("victim.ini", "victim");
    fs::create_symlink(victim, dir_ / "link.bin");
    const fs::path other = Plant("other.ini", "other");
    fs::create_hard_link(other, dir_ / "second.bin");

    for (const char* name : {"planted.bin", "link.bin", "second.bin"}) {
        SCOPED_TRACE(name);
        const platform::FileStatus written =
            platform::ReplaceFileAtomically(Path(name), "new content");
        ASSERT_TRUE(written) << written.error().call << " " << written.error().code;
        const struct stat info = Stat(name);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0644u);
        EXPECT_EQ(info.st_nlink, 1u);
        EXPECT_EQ(info.st_uid, geteuid());
        EXPECT_EQ(Bytes(dir_ / name), "new content");
    }
    EXPECT_NE(Stat("planted.bin").st_ino, plantedInode);
    EXPECT_EQ(Bytes(victim), "victim");
    EXPECT_EQ(Bytes(other), "other");
    EXPECT_EQ(Stat("other.ini").st_nlink, 1u);
    // Nothing is left beside the names but what was there.
    EXPECT_EQ(Joined(Names()), "link.bin other.ini planted.bin second.bin victim.ini ")
        << Joined(Names());
}

TEST_F(AtomicFileTest, AProgramMayBeStartedAndADirectoryUnderTheNameGoesAside) {
    fs::create_directories(dir_ / "tool.exe" / "inside");
    const platform::FileStatus written =
        platform::ReplaceProgramAtomically(Path("tool.exe"), std::string("#!"));
    ASSERT_TRUE(written) << written.error().call << " " << written.error().code;
    EXPECT_EQ(Stat("tool.exe").st_mode & 07777, 0755u);
    EXPECT_EQ(Bytes(dir_ / "tool.exe"), "#!");
    bool aside = false;
    for (const std::string& name : Names())
        aside = aside || (name.rfind("tool.exe.refused-", 0) == 0 &&
                          fs::is_directory(dir_ / name / "inside"));
    EXPECT_TRUE(aside) << Joined(Names());
}

TEST_F(AtomicFileTest, ACutBeforeTheRenameLeavesTheOldFileAndTheNextWriteClearsTheLeftover) {
    Plant("resume.xsvf", "old image");
    const fs::path state = dir_ / "state";
    fs::create_directories(state);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Its own process group: the cut kills that group, not the test.
        setpgid(0, 0);
        setenv("OVN_SIM_STATE", state.c_str(), 1);
        setenv("OVN_SIM_CUT_AT_SAVE", "1", 1);
        const bool replaced =
            platform::ReplaceFileAtomically(Path("resume.xsvf"), "new image").ok();
        _exit(replaced ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    EXPECT_EQ(Bytes(dir_ / "resume.xsvf"), "old image");
    const std::string leftover = "resume.xsvf.tmp" + std::to_string(child);
    EXPECT_EQ(Bytes(dir_ / leftover), "new image") << Joined(Names());

    // A leftover of a living process stays; one of this process that is a link goes as a name.
    const fs::path victim = Plant("victim.ini", "victim");
    const std::string own = "resume.xsvf.tmp" + std::to_string(getpid());
    fs::create_symlink(victim, dir_ / own);
    const std::string living = "resume.xsvf.tmp" + std::to_string(getppid());
    Plant(living, "a writer that still runs");
    const platform::FileStatus written =
        platform::ReplaceFileAtomically(Path("resume.xsvf"), "newer image");
    ASSERT_TRUE(written) << written.error().call << " " << written.error().code;
    EXPECT_EQ(Bytes(dir_ / "resume.xsvf"), "newer image");
    EXPECT_EQ(Bytes(victim), "victim");
    EXPECT_EQ(Joined(Names()), Joined([&] {
                  std::vector<std::string> names{"resume.xsvf", living, "state", "victim.ini"};
                  std::sort(names.begin(), names.end());
                  return names;
              }()));
}

TEST_F(AtomicFileTest, TheSafeReadRefusesLinksAndSaysWhenAFileIsTooLarge) {
    const fs::path victim = Plant("victim.ini", "victim");
    fs::create_symlink(victim, dir_ / "pxcfg.txt");
    const platform::FileResult<std::string> link = platform::ReadFileSafely(Path("pxcfg.txt"), 100);
    ASSERT_FALSE(link);
    EXPECT_TRUE(link.error().refused()) << link.error().call;
    EXPECT_FALSE(link.error().tooLarge);
    Plant("big.txt", std::string(101, 'x'));
    const platform::FileResult<std::string> big = platform::ReadFileSafely(Path("big.txt"), 100);
    ASSERT_FALSE(big);
    EXPECT_TRUE(big.error().tooLarge) << big.error().call;
    EXPECT_FALSE(big.error().refused());
    const platform::FileResult<std::string> whole = platform::ReadFileSafely(Path("big.txt"), 101);
    ASSERT_TRUE(whole) << whole.error().call;
    EXPECT_EQ(*whole, std::string(101, 'x'));
    const platform::FileResult<std::string> missing = platform::ReadFileSafely(Path("none"), 100);
    ASSERT_FALSE(missing);
    EXPECT_FALSE(missing.error().refused() || missing.error().tooLarge) << missing.error().call;
    EXPECT_NE(missing.error().code, 0u);
}

TEST_F(AtomicFileTest, ALinkIsToldFromAPlainFileAndAMissingName) {
    const fs::path victim = Plant("victim.ini", "victim");
    fs::create_symlink(victim, dir_ / "link.ini");
    const platform::FileResult<bool> link = platform::IsLinkOrReparsePoint(Path("link.ini"));
    const platform::FileResult<bool> plain = platform::IsLinkOrReparsePoint(Path("victim.ini"));
    const platform::FileResult<bool> missing = platform::IsLinkOrReparsePoint(Path("none"));
    ASSERT_TRUE(link && plain && missing);
    EXPECT_TRUE(*link);
    EXPECT_FALSE(*plain);
    EXPECT_FALSE(*missing);
}

// A file written in parts: nothing under the name until the commit, a link at the name or at the
// temporary name is never written through, and a stream dropped uncommitted leaves no name.
TEST_F(AtomicFileTest, AStreamedFileAppearsWholeAtItsCommitAndFollowsNoLink) {
    const fs::path victim = Plant("victim.ini", "victim");
    fs::create_symlink(victim, dir_ / "trace.txt");
    const std::string temporary = "trace.txt.tmp" + std::to_string(getpid());
    fs::create_symlink(victim, dir_ / temporary);  // as a leftover of this process id would be
    auto created = platform::AtomicFileStream::Create(Path("trace.txt"));
    ASSERT_TRUE(created) << created.error().call << " " << created.error().code;
    std::unique_ptr<platform::AtomicFileStream> stream = std::move(created).value();
    EXPECT_TRUE(S_ISREG(Stat(temporary).st_mode));
    ASSERT_TRUE(stream->Write("first ", 6));
    ASSERT_TRUE(stream->Write("second\n", 7));
    EXPECT_TRUE(S_ISLNK(Stat("trace.txt").st_mode)) << "the name changes only at the commit";
    const platform::FileStatus committed = stream->Commit();
    ASSERT_TRUE(committed) << committed.error().call << " " << committed.error().code;
    stream.reset();
    EXPECT_EQ(Bytes(dir_ / "trace.txt"), "first second\n");
    EXPECT_EQ(Stat("trace.txt").st_mode & 07777, 0644u);
    EXPECT_EQ(Bytes(victim), "victim");
    EXPECT_EQ(Joined(Names()), "trace.txt victim.ini ") << Joined(Names());

    auto dropped = platform::AtomicFileStream::Create(Path("other.txt"));
    ASSERT_TRUE(dropped);
    ASSERT_TRUE((*dropped)->Write("part", 4));
    dropped = platform::FileFailure("dropped", 0);
    EXPECT_EQ(Joined(Names()), "trace.txt victim.ini ") << Joined(Names());
}
