// The resume command line from the options, however spelt, and the check of the resumed image.
#include "app/cycle/resume_copies.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "device/cmdline.h"
#include "platform/command_line.h"
#include "platform/registry.h"

namespace {

CCmdLine Parsed(std::vector<const char*> args) {
    args.insert(args.begin(), "OvnK740FpgaUpdater");
    CCmdLine options;
    EXPECT_TRUE(options.Parse(static_cast<int>(args.size()), args.data()));
    return options;
}

std::vector<std::wstring> ArgumentsOf(const std::wstring& commandLine) {
    return platform::SplitArguments(platform::ProgramCandidates(commandLine).front().rest);
}

const tagResumeCopies kCopies{
    L"C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\OvnK740FpgaUpdater.exe",
    L"C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\resume.xsvf"};

}  // namespace

TEST(ResumeCommandLine, NamesTheCopiesQuotedAndCarriesTheOptionsHoweverSpelt) {
    const std::wstring expected =
        L"\"C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\OvnK740FpgaUpdater.exe\" -q -b -f "
        L"\"C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\resume.xsvf\"";
    EXPECT_EQ(ResumeCommandLine(kCopies, Parsed({"-q", "-b", "-f", "image.xsvf"})), expected);
    EXPECT_EQ(ResumeCommandLine(kCopies, Parsed({"--QUIET", "-F", "x.xsvf", "--NoBeep"})),
              expected);
    EXPECT_EQ(ResumeCommandLine(kCopies, Parsed({"-b", "--FLASH", "..\\a b.xsvf", "-q"})),
              expected);
    EXPECT_EQ(ResumeCommandLine(kCopies, Parsed({"-c", "1", "-v", "3", "-f", "x"})),
              L"\"" + kCopies.program + L"\" -c 1 -v 3 -f \"" + kCopies.image + L"\"");
}

TEST(ResumeCommandLine, TheResumedRunReceivesTheCopiesEvenWithBlanksAndOtherScripts) {
    const tagResumeCopies copies{L"D:\\Daten \u00c4\\\u03a9 Ordner\\Updater.exe",
                                 L"D:\\Daten \u00c4\\\u03a9 Ordner\\resume.xsvf"};
    const std::wstring line = ResumeCommandLine(copies, Parsed({"-q", "-f", "x"}));
    ASSERT_EQ(platform::ProgramCandidates(line).front().program, copies.program);
    EXPECT_EQ(ArgumentsOf(line), (std::vector<std::wstring>{L"-q", L"-f", copies.image}));
}

TEST(ResumeImage, OnlyTheCopyIsCheckedAndItMustMatchTheRecordedHash) {
    const auto state =
        std::filesystem::temp_directory_path() / ("ovn-resume-image-" + std::to_string(getpid()));
    setenv("OVN_SIM_STATE", state.c_str(), 1);
    const std::wstring folder = L"/pd/Orvane/OvnK740FpgaUpdater/";
    const std::uint8_t image[] = {1, 2, 3, 4};
    std::wstring recorded, found;
    EXPECT_EQ(CheckResumeImage(folder, L"/home/op/image.xsvf", image, 4, recorded, found),
              ResumeImageCheck::kNotACopy);
    // The copy without a recorded hash cannot be trusted.
    EXPECT_EQ(CheckResumeImage(folder, folder + kImageCopyName, image, 4, recorded, found),
              ResumeImageCheck::kDiffers);
    EXPECT_FALSE(ResumeRecorded());
    ASSERT_TRUE(platform::RegistrySetString(
                    L"SOFTWARE\\Orvane Graphics\\OvnK740FpgaUpdater", kImageHashValueName,
                    L"9f64a747e1b97f131fabb6b447296c9b6f0201e79fb3c5356e6c77e89b6a806a")
                    .ok());
    EXPECT_TRUE(ResumeRecorded());
    EXPECT_EQ(CheckResumeImage(folder, folder + kImageCopyName, image, 4, recorded, found),
              ResumeImageCheck::kMatches);
    const std::uint8_t changed[] = {1, 2, 3, 5};
    EXPECT_EQ(CheckResumeImage(folder, folder + kImageCopyName, changed, 4, recorded, found),
              ResumeImageCheck::kDiffers);
    EXPECT_NE(recorded, found);
    RemoveResumeCopies(L"");
    EXPECT_FALSE(ResumeRecorded());
    unsetenv("OVN_SIM_STATE");
    std::filesystem::remove_all(state);
}

TEST(ResumeCopies, OnlyTheProgramInTheWorkingFolderCountsAsALogonEntrysRun) {
    // This test program plays the running utility: its own directory stands for the folder.
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    const std::wstring directory = program.parent_path().wstring();
    EXPECT_TRUE(RunsFromWorkingFolderCopy(directory + L"/"));
    EXPECT_TRUE(RunsFromWorkingFolderCopy(directory));  // with or without the separator
    EXPECT_FALSE(RunsFromWorkingFolderCopy(directory + L"/Orvane/OvnK740FpgaUpdater/"));
    EXPECT_FALSE(RunsFromWorkingFolderCopy(program.parent_path().parent_path().wstring() + L"/"));
    EXPECT_FALSE(RunsFromWorkingFolderCopy(L""));  // no working folder: no logon entry's run
}
