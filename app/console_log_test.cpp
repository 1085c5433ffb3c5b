// The log file: its place under LOCALAPPDATA, CR LF lines, backspaces, appending across runs.
#include "app/console_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text_encoding.h"

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
        setenv("LOCALAPPDATA", root.c_str(), 1);
        BuildLogPath();
        SetLogToFile(1);
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    std::string LogBytes() const {
        std::ifstream in(root / "Orvane" / "OvnK740FpgaUpdater" / "OvnK740FpgaUpdater.log",
                         std::ios::binary);
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
    EXPECT_EQ(WideToUtf8(LogFilePath()),
              (root / "Orvane" / "OvnK740FpgaUpdater" / "OvnK740FpgaUpdater.log").string());
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

TEST_F(LogFile, ConsoleOnlyWithoutLocalAppData) {
    unsetenv("LOCALAPPDATA");
    BuildLogPath();
    EXPECT_TRUE(LogFilePath().empty());
    EXPECT_EQ(Console([] { PrintAndLog(L"only here %d\n", 1); }), "only here 1\n");
    EXPECT_EQ(LogBytes(), "");
}

TEST_F(LogFile, UnwritableLogFallsBackToConsole) {
    std::filesystem::create_directories(
        root / "Orvane" / "OvnK740FpgaUpdater" /
        "OvnK740FpgaUpdater.log");  // a directory where the file goes
    EXPECT_EQ(Console([] { PrintAndLog(L"still shown\n"); }), "still shown\n");
}
