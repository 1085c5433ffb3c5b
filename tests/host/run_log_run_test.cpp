// Whole runs and what they leave for the people who read them afterwards: failure and summary
// lines, why an image could not be opened, each run framed in the log, and the log copy in the
// working folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

namespace fs = std::filesystem;

// The header and closing lines of the log, in their order.
std::vector<std::string> FrameLines(const std::string& log) {
    std::vector<std::string> lines;
    for (std::size_t at = log.find("==== Run "); at != std::string::npos;
         at = log.find("==== Run ", at + 1))
        lines.push_back(log.substr(at, log.find("\r\n", at) - at));
    return lines;
}

std::string RunIdOf(const std::string& frameLine) { return frameLine.substr(9, 32); }

bool IsHex32(const std::string& text) {
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// "2026-12-08T11:44:39Z": digits where the digits go.
bool IsUtcTime(const std::string& text) {
    const std::string form = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != form.size()) return false;
    for (std::size_t i = 0; i < form.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (form[i] == 'd' ? !digit : text[i] != form[i]) return false;
    }
    return true;
}

// Files of the folder whose names start and end so.
std::vector<std::string> FilesNamed(const fs::path& folder, const std::string& start,
                                    const std::string& end) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= start.size() + end.size() && name.rfind(start, 0) == 0 &&
            name.compare(name.size() - end.size(), end.size(), end) == 0)
            names.push_back(name);
    }
    return names;
}

}  // namespace

// Two failing cards: each failure line on its own line, then a line per card saying what to do.
TEST(RunLogRun, FailuresStandOnLinesOfTheirOwnAndEveryCardGetsASummary) {
    UpdaterSandbox box;
    UseDemoOnDefaultCards(box, "{}", R"({"tdoStuck": 0})");
    const tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 2);
    const std::string summary =
        "\b \n\nUpdate failed on device at index 1 with error code 2\n"
        "   Result for PCIe Bus: 0x0300   FPGA version: 1.2.7 -> 1.4.2   ok\n"
        "   Result for PCIe Bus: 0x0400   FPGA version: 1.3.0 -> 1.3.0   failed with error code 2, "
        "TDO mismatch: check that the image is for this card, then run the update again\n";
    EXPECT_NE(run.console.find(summary), std::string::npos) << run.console;
    const std::string log = box.LogBytes();
    EXPECT_NE(log.find("\r\n   Result for PCIe Bus: 0x0400   FPGA version: 1.3.0 -> 1.3.0   failed "
                       "with error code 2, TDO mismatch: "),
              std::string::npos)
        << log;

    // An unmapped card: not programmed, and the summary says where to look.
    UpdaterSandbox unmapped;
    UseDemoOnDefaultCards(unmapped, R"({"mapFails": true})", "{}");
    const tagUpdaterRun second = unmapped.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(second.exitCode, 7);
    EXPECT_NE(second.console.find("Update failed on device at index 0 with error code 7\n"
                                  "   Result for PCIe Bus: 0x0300   FPGA version: 0.0.000 -> "
                                  "unchanged   failed with error code 7, not programmed, its "
                                  "register window is not mapped: "),
              std::string::npos)
        << second.console;
}

// Each run's part of the log starts with a header before its banner and ends with a closing line
// whose outcome agrees with the exit code; four runs stay four framed parts.
TEST(RunLogRun, EveryRunIsFramedByAHeaderAndAClosingLineWithItsOutcome) {
    UpdaterSandbox box;
    box.WriteFile("demo.xsvf", DemoImage());
    EXPECT_EQ(box.Run({"-q", "-b", "-f", "demo.xsvf"}).exitCode, 0);
    EXPECT_EQ(box.Run({"-q"}).exitCode, 1);
    EXPECT_EQ(box.Run({"-f", "demo.xsvf"}, "n").exitCode, 0);
    EXPECT_EQ(box.Run({"-q", "-f", "missing.xsvf"}).exitCode, 2);

    const std::string log = box.LogBytes();
    const std::vector<std::string> frame = FrameLines(log);
    ASSERT_EQ(frame.size(), 8u) << log;
    const char* const outcomes[] = {"outcome updated, exit code 0", "outcome listed, exit code 1",
                                    "outcome declined, exit code 0", "outcome failed, exit code 2"};
    const std::string header =
        ": OvnK740FpgaUpdater 1.0.0.21, user SIMHOST\\User (elevated), "
        "command line: ";
    for (std::size_t run = 0; run < 4; ++run) {
        const std::string& opening = frame[2 * run];
        const std::string& closing = frame[2 * run + 1];
        EXPECT_TRUE(IsHex32(RunIdOf(opening))) << opening;
        EXPECT_EQ(opening.compare(41, 9, " started "), 0) << opening;
        EXPECT_TRUE(IsUtcTime(opening.substr(50, 20))) << opening;
        EXPECT_EQ(opening.compare(70, header.size(), header), 0) << opening;
        EXPECT_EQ(RunIdOf(opening), RunIdOf(closing)) << log;
        EXPECT_NE(closing.find(" ended "), std::string::npos) << closing;
        EXPECT_NE(closing.find(outcomes[run]), std::string::npos) << closing;
        // The header opens the run's part (what the run logged before the log had its place, such
        // as the repair entry, follows it), then the banner; the previous part ended with its
        // closing line.
        const std::size_t at = log.find(opening);
        const std::size_t banner = log.find("Orvane K740 FPGA Update Utility - Version", at);
        EXPECT_LT(banner, log.find(closing)) << log.substr(at, 400);
        if (run > 0) {
            EXPECT_EQ(log.find(frame[2 * run - 1] + "\r\n" + opening),
                      at - frame[2 * run - 1].size() - 2);
        }
    }
    EXPECT_NE(frame[0].find(" -q -b -f demo.xsvf"), std::string::npos) << frame[0];
    EXPECT_NE(RunIdOf(frame[0]), RunIdOf(frame[2]));
    EXPECT_EQ(box.Run({"-q"}).console.find("===="), std::string::npos);
}

// The file that cannot be opened is named as before, then why, on console and in the log.
TEST(RunLogRun, AnImageThatCannotBeOpenedSaysWhyOnTheConsoleAndInTheLog) {
    UpdaterSandbox box;
    fs::create_directory(box.Root() / "folder.xsvf");
    const tagUpdaterRun run = box.Run({"-q", "-f", "folder.xsvf"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.console.find("Error: Unable to open file folder.xsvf\n   Reason: it is a "
                               "directory, not a file.\n   Found 2"),
              std::string::npos)
        << run.console;
    EXPECT_NE(box.LogBytes().find("Error: Unable to open file folder.xsvf\r\n   Reason: it is a "
                                  "directory, not a file.\r\n"),
              std::string::npos)
        << box.LogBytes();
}

// The working folder keeps this run's log lines whole, beside last-run.json, and a dated copy
// beside the dated results; the next run replaces last-run.log rather than adding to it.
TEST(RunLogRun, TheWorkingFolderKeepsTheLogOfTheLastRunBesideItsResult) {
    UpdaterSandbox box;
    box.WriteFile("demo.xsvf", DemoImage());
    ASSERT_EQ(box.Run({"-q", "-b", "-f", "demo.xsvf"}).exitCode, 0);
    const fs::path copy = box.WorkingFolder() / "last-run.log";
    const std::string first = ReadFileBytes(copy);
    const std::vector<std::string> frame = FrameLines(first);
    ASSERT_EQ(frame.size(), 2u) << first;
    // Exactly this run's part of the user's log, in the log's own form.
    EXPECT_EQ(first.rfind(frame[0], 0), 0u) << first;
    const std::string userLog = box.LogBytes();
    ASSERT_NE(userLog.find(frame[0]), std::string::npos) << userLog;
    EXPECT_EQ(userLog.substr(userLog.find(frame[0])), first);
    EXPECT_NE(first.find("Execution time = "), std::string::npos);
    EXPECT_EQ(first.substr(first.size() - 2), "\r\n");
    const std::vector<std::string> dated =
        FilesNamed(box.WorkingFolder(), "run-", "Z-" + RunIdOf(frame[0]).substr(0, 8) + ".log");
    ASSERT_EQ(dated.size(), 1u);
    EXPECT_EQ(ReadFileBytes(box.WorkingFolder() / dated[0]), first);
    EXPECT_TRUE(
        fs::exists(box.WorkingFolder() / (dated[0].substr(0, dated[0].size() - 4) + ".json")));

    ASSERT_EQ(box.Run({"-q"}).exitCode, 1);
    const std::string second = ReadFileBytes(copy);
    EXPECT_EQ(second.find(RunIdOf(frame[0])), std::string::npos) << second;
    EXPECT_NE(second.find("outcome listed, exit code 1"), std::string::npos) << second;
    EXPECT_EQ(FilesNamed(box.WorkingFolder(), "run-", ".log").size(), 2u);
}

// Whoever runs it and wherever the user's log goes (here: nowhere, its folder is a link), the
// working folder has the run's log; a link planted under the copy's name is never written through.
TEST(RunLogRun, TheCopyIsMadeWithoutTheUsersLogAndNeverThroughALink) {
    UpdaterSandbox box;
    const fs::path elsewhere = box.Root() / "elsewhere";
    fs::create_directories(elsewhere);
    const fs::path local = box.StateDirectory() / "Users" / "User" / "AppData" / "Local";
    fs::create_directories(local);
    fs::create_directory_symlink(elsewhere, local / "Orvane");
    box.WriteFile("demo.xsvf", DemoImage());
    ASSERT_EQ(box.Run({"-q"}).exitCode, 1);  // makes the working folder

    const fs::path target = box.WriteFile("target.txt", "keep");
    fs::remove(box.WorkingFolder() / "last-run.log");
    fs::create_symlink(target, box.WorkingFolder() / "last-run.log");
    const tagUpdaterRun run = box.Run({"-q", "-b", "-f", "demo.xsvf"});
    EXPECT_EQ(run.exitCode, 0) << run.console;
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(ReadFileBytes(target), "keep");
    const fs::path copy = box.WorkingFolder() / "last-run.log";
    ASSERT_FALSE(fs::is_symlink(copy));
    const std::string log = ReadFileBytes(copy);
    EXPECT_NE(log.find("Execution time = "), std::string::npos) << log;
    EXPECT_NE(log.find("outcome updated, exit code 0"), std::string::npos) << log;
}

// Ctrl+C at the prompt: the console-control handler closes the run and keeps its copy.
TEST(RunLogRun, AnInterruptedRunIsClosedAndItsCopyKept) {
    UpdaterSandbox box;
    box.WriteFile("demo.xsvf", DemoImage());
    box.HoldInputOpen(true);
    const tagUpdaterRun run =
        box.RunAndInterrupt({"-b", "-f", "demo.xsvf"}, "Press 'y' to continue");
    ASSERT_TRUE(run.interruptedWhenReady) << run.console;
    EXPECT_EQ(run.exitCode, 1) << run.console;
    const std::string copy = ReadFileBytes(box.WorkingFolder() / "last-run.log");
    const std::vector<std::string> frame = FrameLines(copy);
    ASSERT_EQ(frame.size(), 2u) << copy;
    EXPECT_NE(frame[1].find("outcome interrupted, exit code 1"), std::string::npos) << copy;
    EXPECT_NE(box.LogBytes().find(frame[1]), std::string::npos) << box.LogBytes();
}
