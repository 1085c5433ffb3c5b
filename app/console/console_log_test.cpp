// The log file: its place in the user's profile whatever the environment says, no link followed on
// the way, CR LF lines, backspaces, appending across runs.
#include "app/console/console_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "text/text_encoding.h"

namespace {

class LogFile : public testing::Test {
protected:
    void SetUp() override {
        root =
            std::filesystem::temp_directory_path() /
            ("ovn-log-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        setenv("OVN_SIM_STATE", root.c_str(), 1);
        unsetenv("LOCALAPPDATA");
        BuildLogPath();
        SetLogToFile(1);
    }
    void TearDown() override {
        unsetenv("OVN_SIM_STATE");
        unsetenv("LOCALAPPDATA");
        std::filesystem::remove_all(root);
    }

    // The simulated machine's local application data folder.
    std::filesystem::path Local() const { return root / "Users" / "User" / "AppData" / "Local"; }
    std::filesystem::path Log() const {
        return Local() / "Orvane" / "OvnK740FpgaUpdater" / "OvnK740FpgaUpdater.log";
    }

    std::string LogBytes() const {
        std::ifstream in(Log(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    std::string Console(void (*print)()) {
        testing::internal::CaptureStdout();
        print();
        return testing::internal::GetCapturedStdout();
    }

    std::filesystem::path root;
};

}  // namespace

TEST_F(LogFile, PathHasBothDirectoriesAndIsAppendedWithCrLf) {
    EXPECT_EQ(WideToUtf8(LogFilePath()), Log().string());
    std::string console = Console([] { PrintAndLog(L"   Found %d card%ls:\n", 2, L"s"); });
    EXPECT_EQ(console, "   Found 2 cards:\n");
    EXPECT_EQ(LogBytes(), "   Found 2 cards:\r\n");
}

TEST_F(LogFile, ProgressRefreshesBecomeOneLongLine) {
    Console([] {
        PrintAndLog(L"Programming the FPGA:....... 00%% ");
        PrintAndLog(L"\b\b\b\b%02d%%", 5);
        PrintAndLog(L"|");
        PrintAndLog(L"\b\b\b\b%02d%%", 100);
        PrintAndLog(L"/");
        PrintAndLog(L"\b \n\n");
    });
    EXPECT_EQ(LogBytes(), "Programming the FPGA:....... 00%     05%|    100%/  \r\n\r\n");
}

TEST_F(LogFile, BackspacesFromArgumentsAreKept) {
    std::string console = Console([] { PrintAndLog(L"[%ls]\b\n", L"a\bb"); });
    EXPECT_EQ(console, "[a\bb]\b\n");
    EXPECT_EQ(LogBytes(), "[a\bb] \r\n");
}

TEST_F(LogFile, TwoRunsAppendToOneFile) {
    Console([] { PrintAndLog(L"first run\n"); });
    BuildLogPath();  // a second run builds the same path again
    Console([] { PrintAndLog(L"second run\n"); });
    EXPECT_EQ(LogBytes(), "first run\r\nsecond run\r\n");
}

TEST_F(LogFile, LocalAppDataInTheEnvironmentIsIgnored) {
    const auto elsewhere = root / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    setenv("LOCALAPPDATA", elsewhere.c_str(), 1);
    BuildLogPath();
    EXPECT_EQ(WideToUtf8(LogFilePath()), Log().string());
    Console([] { PrintAndLog(L"in the profile\n"); });
    EXPECT_EQ(LogBytes(), "in the profile\r\n");
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

// Each level from the local folder down, as a link to a folder the run must not write in: refused,
// said once on the console, and the run's messages still reach the console.
TEST_F(LogFile, ALinkAtAnyLevelIsRefusedAndSaidOnce) {
    const auto victim = root / "victim";
    const std::vector<std::filesystem::path> levels = {Local(), Local() / "Orvane",
                                                       Local() / "Orvane" / "OvnK740FpgaUpdater"};
    for (const auto& level : levels) {
        std::filesystem::remove_all(root / "Users");
        std::filesystem::remove_all(victim);
        std::filesystem::create_directories(victim);
        std::filesystem::create_directories(level.parent_path());
        std::filesystem::create_directory_symlink(victim, level);
        BuildLogPath();
        EXPECT_TRUE(LogFilePath().empty()) << level;
        const std::string console = Console([] {
            PrintAndLog(L"first\n");
            PrintAndLog(L"second\n");
        });
        EXPECT_EQ(console,
                  "first\n   The log file OvnK740FpgaUpdater.log is not written: the folder " +
                      level.string() + " is a symbolic link.\nsecond\n")
            << level;
        EXPECT_TRUE(std::filesystem::is_empty(victim)) << level;
    }
}

TEST_F(LogFile, UnwritableLogFallsBackToConsole) {
    std::filesystem::create_directories(Log());  // a directory where the file goes
    EXPECT_EQ(Console([] { PrintAndLog(L"still shown\n"); }), "still shown\n");
}
