// Whole runs with image files that cannot be used, and with a name outside any ANSI code page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/host/machines.h"
#include "tests/host/updater_process.h"

namespace {

// "прошивка_固件.xsvf" in UTF-8: Cyrillic and CJK.
const char* const kUnicodeName =
    "\xd0\xbf\xd1\x80\xd0\xbe\xd1\x88\xd0\xb8\xd0\xb2\xd0\xba\xd0\xb0_\xe5\x9b\xba\xe4\xbb\xb6."
    "xsvf";

// A file the run cannot use is reported as one it cannot open: console only, cards listed, 2.
void ExpectUnusableFile(const UpdaterSandbox& box, const std::string& name) {
    tagUpdaterRun run = box.Run({"-q", "-f", name});
    EXPECT_EQ(run.exitCode, 2) << name;
    EXPECT_EQ(run.console, std::string(kBanner) + "Error: Unable to open file " + name + "\n" +
                               kDefaultList + "\n")
        << name;
    EXPECT_EQ(box.LogBytes().find("Unable to open"), std::string::npos) << name;
}

TEST(ImageFileRun, DirectoryAndFileOverTwoGibibytesCannotBeOpened) {
    UpdaterSandbox box;
    std::filesystem::create_directory(box.Root() / "folder.xsvf");
    ExpectUnusableFile(box, "folder.xsvf");

    // One byte more than the player's signed 32-bit size; sparse, so it costs no disk.
    const std::filesystem::path big = box.WriteFile("big.xsvf", "x");
    std::filesystem::resize_file(big, std::uint64_t{1} << 31);
    ExpectUnusableFile(box, "big.xsvf");
}

TEST(ImageFileRun, NameInCyrillicAndCjkIsOpenedAndShownAsWritten) {
    UpdaterSandbox box;
    box.WriteFile(kUnicodeName, DemoImage());
    tagUpdaterRun run = box.Run({"-f", kUnicodeName}, "n");
    EXPECT_EQ(run.exitCode, 0);
    const std::string shown = std::string("   XSVF update file: ") + kUnicodeName + "\n";
    EXPECT_NE(run.console.find(shown), std::string::npos) << run.console;
    EXPECT_NE(box.LogBytes().find(std::string("   XSVF update file: ") + kUnicodeName + "\r\n"),
              std::string::npos);

    ExpectUnusableFile(box, std::string("missing_") + kUnicodeName);
}

}  // namespace
