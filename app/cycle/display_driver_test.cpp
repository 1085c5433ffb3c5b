// The device-console tool: resource choice, command lines, judgement, and the held, checked file.
#include "app/cycle/display_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "simhost/host_records.h"
#include "text/text_encoding.h"

TEST(DeviceConsoleTool, ResourceByWow64AndTheExactCommandLines) {
    EXPECT_STREQ(ToolResourceName(true), L"DEVCON64");
    EXPECT_STREQ(ToolResourceName(false), L"DEVCON32");
    EXPECT_EQ(ToolPath(L""), L"");
    EXPECT_EQ(ToolPath(L"C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\"),
              L"C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\dec740.exe");
    const std::wstring tool = L"C:\\ProgramData\\Orvane\\OvnK740FpgaUpdater\\dec740.exe";
    EXPECT_EQ(ToolCommandLine(tool, L"disable"),
              tool + L" disable \"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7\"");
    // A user name with a blank appears in the temporary directory.
    EXPECT_EQ(ToolCommandLine(L"C:\\Users\\Ann Lee\\Temp\\\\dec740.exe", L"enable"),
              L"\"C:\\Users\\Ann Lee\\Temp\\\\dec740.exe\" enable "
              L"\"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7\"");
}

namespace {

// The tool's driverfiles report of one device; the driver's lines as given.
std::string Report(const std::string& name, const std::string& driverLines) {
    return "PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7&REV_00\\4&3&0&0\n    Name: " + name + "\n" +
           driverLines + "1 device(s) found.\n";
}

}  // namespace

TEST(DeviceConsoleTool, AnyOfTheThreeLetterGroupsCaseSensitiveOnTheDriverLinesWithinTheLimit) {
    EXPECT_TRUE(NamesDisplayDriver(Report(
        "Video", "    Driver installed from C:\\Windows\\INF\\oem12.inf [K740]. 0 file(s)\n")));
    EXPECT_TRUE(NamesDisplayDriver(
        Report("Video",
               "    Driver installed from C:\\Windows\\INF\\display.inf [K]. 1 file(s) used "
               "by driver:\n        C:\\Windows\\System32\\amdkmdag.sys\n")));
    EXPECT_TRUE(
        NamesDisplayDriver(Report("Video",
                                  "    Driver installed from x.inf [K]. 1 file(s) used by driver:\n"
                                  "        C:\\drivers\\atikmpag.sys\r\n")));
    EXPECT_FALSE(NamesDisplayDriver(
        Report("Video",
               "    Driver installed from C:\\Windows\\inf\\OEM12.INF [AMD]. 1 file(s) used by "
               "driver:\n        C:\\ATI.SYS\n")));
    // Ordinary words on the other lines name no driver: a device name, a line saying there is none.
    EXPECT_FALSE(
        NamesDisplayDriver(Report("Configuration of a compatible amd card",
                                  "    No driver information available for the device.\n")));
    // A file line only counts below a driver line; the count line after it ends the block.
    EXPECT_FALSE(NamesDisplayDriver("        C:\\drivers\\atikmpag.sys\n"));
    EXPECT_FALSE(
        NamesDisplayDriver(Report("Video", "    Driver installed from x.inf [K]. 0 file(s)\n") +
                           "        stray amd line after the count\n"));
    const std::string head = "    Driver installed from x.inf [K]. 1 file(s) used by driver:\n";
    const std::string pad(65535 - head.size() - 8 - 3, 'x');
    EXPECT_TRUE(NamesDisplayDriver(head + "        " + pad + "ati"));
    EXPECT_FALSE(NamesDisplayDriver(head + "        " + pad + "xati"));
    // The log quotes the line that decided, never a device name that merely holds the letters.
    EXPECT_EQ(DisplayDriverLine(Report("Configuration of a compatible amd card",
                                       "    Driver installed from x.inf [K]. 1 file(s) used by "
                                       "driver:\n        C:\\drivers\\atikmpag.sys\r\n")),
              "        C:\\drivers\\atikmpag.sys");
}

namespace {

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
}

class ExtractedToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("ovn-tool-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        setenv("OVN_SIM_STATE", (dir_ / "state").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

}  // namespace

TEST_F(ExtractedToolTest, TheWrittenToolRunsAndASwappedOneIsRefused) {
    const std::wstring path = Utf8ToWide((dir_ / "dec740.exe").string());
    CDeviceConsoleTool tool(path);
    ASSERT_TRUE(tool.Extract(FileBytes(OVN_CHILD_DOUBLE)));
    CChildRunner runner;
    // The child program answers an unknown command with 99: it was started from the written file.
    EXPECT_EQ(tool.Disable(runner), 99u);
    // A query that ends with another code than 0 names no driver and no absence of one either.
    std::uint32_t code = 0;
    EXPECT_EQ(tool.QueryDriver(runner, &code), CDeviceConsoleTool::Query::kFailed);
    EXPECT_EQ(code, 99u);
    EXPECT_EQ(sim::host::ChildCommands().size(), 2u);

    // Another program put in its place (possible on the host edition; Windows denies the write).
    std::filesystem::remove(dir_ / "dec740.exe");
    std::filesystem::copy_file("/bin/true", dir_ / "dec740.exe");
    EXPECT_EQ(tool.Disable(runner), kNoExitCode);
    EXPECT_EQ(tool.Enable(runner), kNoExitCode);
    EXPECT_FALSE(tool.QueryDisplayDriver(runner));
    EXPECT_EQ(sim::host::ChildCommands().size(), 2u);
}

TEST_F(ExtractedToolTest, NoPathNoImageOrNoWritableDirectoryMeansNoTool) {
    CChildRunner runner;
    CDeviceConsoleTool noPath(ToolPath(L""));
    EXPECT_FALSE(noPath.Extract({1, 2, 3}));
    CDeviceConsoleTool noImage(Utf8ToWide((dir_ / "dec740.exe").string()));
    EXPECT_FALSE(noImage.Extract({}));
    CDeviceConsoleTool nowhere(L"/nonexistent/dir//dec740.exe");
    EXPECT_FALSE(nowhere.Extract({1, 2, 3}));
    EXPECT_FALSE(nowhere.Extracted());
    EXPECT_FALSE(nowhere.QueryDisplayDriver(runner));
    EXPECT_EQ(nowhere.Disable(runner), kNoExitCode);
    EXPECT_TRUE(sim::host::ChildCommands().empty());
}
