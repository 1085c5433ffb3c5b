// The resume command line for the ways the utility can be started, and the arguments it gives back.
#include "app/reboot_resume.h"

#include <gtest/gtest.h>

#include "platform/command_line.h"

namespace {

// The arguments a resumed run receives from the command line the platform starts.
std::vector<std::wstring> ArgumentsOf(const std::wstring& commandLine) {
    return platform::SplitArguments(platform::ProgramCandidates(commandLine).front().rest);
}

}  // namespace

TEST(ResumeCommandLine, BareNameStartsGetTheProgramDirectoryInTheirExactText) {
    const std::wstring dir = L"C:\\Tools\\";
    EXPECT_EQ(ResumeCommandLine(L"OvnK740FpgaUpdater -f image.xsvf", dir),
              L"C:\\Tools\\OvnK740FpgaUpdater -f C:\\Tools\\image.xsvf");
    // The file given with the directory: only the program gets it.
    EXPECT_EQ(ResumeCommandLine(L"OvnK740FpgaUpdater -f C:\\Tools\\image.xsvf", dir),
              L"C:\\Tools\\OvnK740FpgaUpdater -f C:\\Tools\\image.xsvf");
    // A file elsewhere, given with its full path, stays where it is.
    EXPECT_EQ(ResumeCommandLine(L"OvnK740FpgaUpdater.exe -q -f D:\\img\\a.xsvf", dir),
              L"C:\\Tools\\OvnK740FpgaUpdater.exe -q -f D:\\img\\a.xsvf");
    // The long option spelling names the file too.
    EXPECT_EQ(ResumeCommandLine(L"OvnK740FpgaUpdater -b --flash image.xsvf", dir),
              L"C:\\Tools\\OvnK740FpgaUpdater -b --flash C:\\Tools\\image.xsvf");
    EXPECT_EQ(ResumeCommandLine(L"OvnK740FpgaUpdater", dir), L"C:\\Tools\\OvnK740FpgaUpdater");
}

TEST(ResumeCommandLine, AFullPathStartIsKeptAsItIs) {
    const std::wstring line = L"\"C:\\Program Files\\Orvane\\OvnK740FpgaUpdater.exe\" -f x.xsvf";
    EXPECT_EQ(ResumeCommandLine(line, L"C:\\Program Files\\Orvane\\"), line);
    EXPECT_EQ(ResumeCommandLine(L"C:\\Tools\\OvnK740FpgaUpdater.exe -f x.xsvf", L"C:\\Tools\\"),
              L"C:\\Tools\\OvnK740FpgaUpdater.exe -f x.xsvf");
}

TEST(ResumeCommandLine, ADirectoryWithABlankIsQuotedAndTheResumedRunGetsTheSameArguments) {
    const std::wstring dir = L"C:\\Program Files\\Orvane\\";
    const std::wstring line = ResumeCommandLine(L"OvnK740FpgaUpdater -n -f image.xsvf", dir);
    EXPECT_EQ(line,
              L"\"C:\\Program Files\\Orvane\\OvnK740FpgaUpdater\" -n -f "
              L"\"C:\\Program Files\\Orvane\\image.xsvf\"");
    EXPECT_EQ(platform::ProgramCandidates(line).front().program,
              L"C:\\Program Files\\Orvane\\OvnK740FpgaUpdater");
    EXPECT_EQ(ArgumentsOf(line),
              (std::vector<std::wstring>{L"-n", L"-f", L"C:\\Program Files\\Orvane\\image.xsvf"}));
    // A quoted file name with a blank keeps its quotes around the whole path.
    EXPECT_EQ(ArgumentsOf(ResumeCommandLine(L"OvnK740FpgaUpdater -f \"my image.xsvf\"", dir)),
              (std::vector<std::wstring>{L"-f", L"C:\\Program Files\\Orvane\\my image.xsvf"}));
}
